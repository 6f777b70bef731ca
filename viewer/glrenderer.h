#ifndef GLRENDERER_H
#define GLRENDERER_H

// What draws into a GLSurface: its three OpenGL hooks, which the surface calls with its
// own context current, as QOpenGLWindow calls those of whoever subclasses it.
class GLRenderer
{
public:
    virtual ~GLRenderer() = default;

    // Once for each context the surface makes, before that context's first resizeGL.
    virtual void initializeGL() = 0;
    // Before the first paint, and before the first paint after each change of size, in
    // logical pixels.
    virtual void resizeGL(int width, int height) = 0;
    // The whole picture; the surface swaps it onto the screen.
    virtual void paintGL() = 0;
};

#endif // GLRENDERER_H
