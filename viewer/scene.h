#ifndef SCENE_H
#define SCENE_H

class Scene
{
public:
    Scene();
    ~Scene();

    void render();
};

#endif // SCENE_H
