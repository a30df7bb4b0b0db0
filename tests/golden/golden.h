#pragma once
// Golden renders: a whole render pinned by its length and a 64-bit FNV-1a hash of its bytes, its
// first values kept as text so that a change shows in a diff. The files live in GOLDEN_DIR (given
// at build time) and are read by any build of the tests, native or not.
//
// VINTELO_GOLDEN_UPDATE=1 in the environment rewrites the files instead of checking them, and
// fails the test so that a rewrite can never pass for a check (README.md in this folder).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 64-bit FNV-1a of n bytes, continuing from h (the offset basis starts a hash).
inline constexpr uint64_t fnv_basis = 0xcbf29ce484222325ull;
uint64_t fnv1a(const void* p, size_t n, uint64_t h = fnv_basis);

// 64-bit FNV-1a over the values as 16-bit little-endian bytes, in order.
uint64_t fnv16(const std::vector<int16_t>& v);

// Checks values (interleaved frames of `width` values each) against the golden `name`, keeping
// the first `head` frames as text. Reports through GoogleTest.
void expect_golden(const std::string& name, const std::vector<int16_t>& v, int width, int head);

// A data file of GOLDEN_DIR (e.g. "songs/echo.song") as text; fails the test when missing.
std::string golden_text(const std::string& file);

// Free-form golden: lines of text checked line by line (the scene's moments). Rewritten, like the
// others, under VINTELO_GOLDEN_UPDATE.
void expect_golden_lines(const std::string& name, const std::vector<std::string>& lines);
