// Vertex and index buffers and the handle kinds of 3D model resources.
#pragma once

int RegisterModelHandleTypes();
int UnregisterModelHandleTypes();
