// Stands in for the graph vertex builders until they exist: no vertex list has been drawn, so
// there is no scratch buffer to free.
#include "draw/graph_vertices.h"

int FreeVertexListBuffer() {
    return 0;
}
