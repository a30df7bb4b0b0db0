#pragma once
// OpenGL's two fixed-function matrix stacks as the scene uses them: the current matrix of the
// chosen mode, multiplied on the right by glFrustum, glRotatef and glTranslatef exactly as the
// fixed function defines them. Plain C++, so a native test can hold it against a real OpenGL.

// Column-major 4x4 matrices, as OpenGL stores them and WebGL's uniforms take them.
extern float proj[16];  // GL_PROJECTION
extern float view[16];  // GL_MODELVIEW

void m_mode(unsigned mode);  // GL_PROJECTION (0x1701) or GL_MODELVIEW (0x1700); others ignored
void m_identity();
void m_frustum(double l, double r, double b, double t, double n, double f);
void m_rotate(float deg, float x, float y, float z);
void m_translate(float x, float y, float z);
void m_reset();  // both identity, GL_MODELVIEW current, as a fresh context has them
