#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image.h"
#include "scene/vec3.h"

namespace lucentor {

// The picture of `size` after `passCount` (>= 1) passes of `sums` as a PNG: 8-bit RGB, each
// pixel exactly as the window shows it.
std::vector<unsigned char> encodePng(const Vec3* sums, int passCount, ImageSize size = {});

// The same PNG from the picture's shown words 0x00RRGGBB (shownPicture's), row after row.
std::vector<unsigned char> encodeShownPng(const std::uint32_t* words, ImageSize size);

// The same picture as a PFM: the per-pixel mean as 32-bit little-endian float RGB, unclamped,
// bottom row first as the format wants.
std::vector<unsigned char> encodePfm(const Vec3* sums, int passCount, ImageSize size = {});

// An output file that appears under its name complete or not at all: the bytes go to a
// temporary file in the same folder, which is renamed into place at the end. Opening it
// early finds a missing folder or a lack of permission before any work is done.
struct OutputFile {
    std::string path;
    std::string temporaryPath;  // empty when nothing is open
    int descriptor = -1;

    OutputFile() = default;
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    OutputFile(OutputFile&&) = delete;
    OutputFile& operator=(OutputFile&&) = delete;
};

// Creates the temporary file for `path`. Returns an empty string, or why it cannot be made.
std::string openOutput(OutputFile& file, const std::string& path);

// Writes `bytes`, makes them durable and renames the file into place. Returns an empty string,
// or the reason it failed, after which nothing stands under the path that was not there before.
std::string commitOutput(OutputFile& file, const std::vector<unsigned char>& bytes);

// Removes the temporary file, leaving the path as it was.
void discardOutput(OutputFile& file);

}  // namespace lucentor
