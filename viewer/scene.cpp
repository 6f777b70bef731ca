#include "scene.h"

#include <GL/gl.h>

namespace {

struct Face
{
    double color[3];
    double vertices[4][3];
};

} // namespace

Scene::Scene() = default;

Scene::~Scene() = default;

void Scene::render()
{
    const double size = 50.0;
    const double p = size / 2;
    const double n = size / -2;

    // Each face has its own vertex order; culling is never enabled, so it does not show.
    const Face faces[] = {
        {{1, 0, 0}, {{n, n, p}, {p, n, p}, {p, p, p}, {n, p, p}}},
        {{0, 1, 0}, {{n, n, n}, {n, n, p}, {n, p, p}, {n, p, n}}},
        {{0, 0, 1}, {{p, n, n}, {p, n, p}, {p, p, p}, {p, p, n}}},
        {{0, 1, 1}, {{n, n, n}, {p, n, n}, {p, p, n}, {n, p, n}}},
        {{1, 0, 1}, {{n, n, n}, {p, n, n}, {p, n, p}, {n, n, p}}},
        {{1, 1, 0}, {{n, p, n}, {p, p, n}, {p, p, p}, {n, p, p}}},
    };

    glBegin(GL_QUADS);
    for (const Face &face : faces) {
        glColor3d(face.color[0], face.color[1], face.color[2]);
        for (const auto &v : face.vertices)
            glVertex3d(v[0], v[1], v[2]);
    }
    glEnd();

    const double cellSize = 20.0;
    const double half = cellSize / 2;
    for (int i = -8; i <= 8; ++i) {
        for (int j = -8; j <= 8; ++j) {
            const double x = i * cellSize;
            const double z = j * cellSize;
            glBegin(GL_LINE_LOOP);
            glColor3d(0.25, 0.25, 0.25);
            glVertex3d(x - half, 0.0, z - half);
            glVertex3d(x + half, 0.0, z - half);
            glVertex3d(x + half, 0.0, z + half);
            glVertex3d(x - half, 0.0, z + half);
            glEnd();
        }
    }
}
