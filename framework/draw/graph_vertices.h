// Direct3D vertex building for graphs, boxes and vertex lists.
#pragma once

// Frees the scratch buffer that vertex lists are recoloured in; 0.
int FreeVertexListBuffer();
