// SPDX-License-Identifier: MIT
// What the command line may do to a picture before it is sampled: bring it
// to a width in cells, and turn its light to dark for a dark background. The
// conversion rule itself never changes; it sees another picture.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <cstdint>

// Scales the picture (32-bit RGB) to columns x cellSize pixels wide, its shape
// kept: the height is height x new width / width, rounded half up, at least one
// pixel. Each new pixel is the mean of the source pixels under it (a box
// filter in integers, so every machine gives the same pixels); enlarging
// repeats pixels. NoMemory (the picture left as it was) when the new picture
// cannot be held.
Outcome ScaleToColumns(QImage& picture, int32_t columns, int32_t cellSize);

// Turns every pixel's lightness to its opposite, R + G + B becoming
// 765 - (R + G + B): a black picture becomes exactly a white one.
void InvertLightness(QImage& picture);
