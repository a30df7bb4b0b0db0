#pragma once
// Where the packer reads and writes in the stub file (stub.asm), and the limits of the stub's
// memory map. The stub file is the stub proper, ending with an empty model set, then the tail:
// code the packer codes ahead of the image, which the stub runs once decoded and checked.
#include <cstddef>
#include <cstdint>

namespace stub_layout {
inline constexpr size_t length = 0x139;     // u16: the decoded length, tail and image (the decoder's end test's operand)
inline constexpr size_t tail = 0x14;        // u16: the tail's length, set by the assembler (e_version, which the kernel ignores)
inline constexpr size_t sum = 0x148;        // u32: the checksum of the coded data (the checksum test's operand)
inline constexpr size_t filesz = 0x58;      // u64: the program header's file size
inline constexpr size_t memsz = 0x60;       // u64: the program header's memory size
inline constexpr size_t code_start = 0x68;  // the header ends; the stub's code ends with the model set
inline constexpr uint64_t memsz_min = 0x2C00100;  // what the stub's memory map needs
inline constexpr size_t max_decoded = 0xFFFF;     // the largest tail and image: the length is 16 bits
inline constexpr size_t max_file = 0x200000;      // the file must end below the stub's work areas
}  // namespace stub_layout
