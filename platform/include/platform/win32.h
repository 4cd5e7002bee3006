// The Win32 surface the layer offers: one include for every area.
#pragma once

#include "platform/win32_files.h"
#include "platform/win32_fonts.h"
#include "platform/win32_gdi.h"
#include "platform/win32_kernel.h"
#include "platform/win32_types.h"
#include "platform/win32_user.h"
