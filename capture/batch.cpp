// The capture's GL slots for drawn frames: immediate-mode batches collected into client arrays.
#include "batch.h"

#include <GL/gl.h>

#include "../scene/scene.h"

namespace {
struct vertex {
    float x, y, z;  // position, as glVertex3f received it
    float r, g, b;  // the colour current when it was given
};
static_assert(batch_max % 4 == 0, "batches are split at whole quads");
vertex verts[batch_max];  // the batch being collected
int nverts;               // vertices in verts
unsigned mode;            // primitive of the batch
float cr, cg, cb;         // current colour

void flush()
{
    if (nverts == 0)
        return;
    glVertexPointer(3, GL_FLOAT, sizeof(vertex), &verts[0].x);
    glColorPointer(3, GL_FLOAT, sizeof(vertex), &verts[0].r);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDrawArrays(mode, 0, nverts);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    // Immediate mode leaves the last colour current; so does the batch.
    glColor3f(cr, cg, cb);
    nverts = 0;
}

void b_begin(unsigned m)
{
    mode = m;
    nverts = 0;
}

void b_end() { flush(); }

void b_color(float r, float g, float b)
{
    cr = r;
    cg = g;
    cb = b;
}

void b_vertex(float x, float y, float z)
{
    if (nverts == batch_max)
        flush();  // only GL_QUADS reach this size, and the table holds whole quads
    verts[nverts++] = {x, y, z, cr, cg, cb};
}
}

const gl_slots batch_slots = {.begin = b_begin, .end = b_end, .vertex3f = b_vertex, .matrixmode = &glMatrixMode,
                              .loadidentity = &glLoadIdentity, .clear = &glClear, .color3f = b_color,
                              .rotatef = &glRotatef, .translatef = &glTranslatef, .enable = &glEnable,
                              .frustum = &glFrustum};
