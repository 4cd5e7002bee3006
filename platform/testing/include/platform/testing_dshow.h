// Hooks for tests only: the DirectShow objects alive.
#pragma once

// Filter graphs, filters (the program's video renderers among them), pins, enumerators and
// samples made and not yet deleted.
int TestCountDirectShowObjects();
