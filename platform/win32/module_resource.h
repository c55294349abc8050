// Module resources on Linux. Shared objects carry no resource section, so a
// module that has resources embeds them at build time and exports this one
// function; FindResourceA/SizeofResource/LoadResource/LockResource look it up
// with dlsym and call it.
#pragma once

#include <cstdint>

// `name` and `type` are strings, or integer ids made with MAKEINTRESOURCEA
// (values below 0x10000), compared the way FindResourceA compares them.
// Returns the resource's bytes and size, or null when the module has none.
#define VOX_MODULE_RESOURCE_SYMBOL "VoxModuleResource"
extern "C" typedef const void* (*VoxModuleResourceFn)(const char* name, const char* type, uint32_t* size);
