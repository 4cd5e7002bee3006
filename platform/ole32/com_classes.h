// The classes CoCreateInstance makes. ole32 knows none of its servers: their classes are
// listed above them all, in the layer's start-up tables (loader/com_server_table.cpp), as the
// loader lists the modules' exports.
#pragma once

#include <span>

#include "platform/com.h"

struct ComClass {
    CLSID classId;
    HRESULT (*create)(LPUNKNOWN outer, REFIID iid, void** object);
};

std::span<const ComClass> RegisteredComClasses();
