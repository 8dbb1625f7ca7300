// SPDX-License-Identifier: MIT
// File, path and fixed-width text routines shared by the maker and the viewer.
// Texts are Unicode (QString); widths count bytes of the code page 932 form,
// which is the number of columns a text takes in a fixed-pitch Japanese font.
#pragma once

#include <QString>
#include <cstdint>

// True when the file can be opened for reading right now. Directories,
// missing or unreadable files and the empty path give false. No file stays open.
bool FileExists(const QString& path);

// The path with a trailing separator, unless it already ends in "/" or "\".
QString AddPathSeparator(const QString& path);

// Number of bytes of the code page 932 form of text.
int32_t AnsiLen(const QString& text);

// length bytes of the code page 932 form of text from the 1-based byte start,
// converted back. A double-byte character cut in half is dropped.
QString AnsiMid(const QString& text, int32_t start, int32_t length);

// text cut to width bytes, trimmed of blanks at both ends, then padded with
// blanks in front (alignRight) or behind to width bytes.
QString PadToWidth(const QString& text, int32_t width, bool alignRight);
