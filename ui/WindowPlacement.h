// SPDX-License-Identifier: MIT
// Where the viewer opens: beside the maker that started it, so that the
// maker's close button and sliders stay in view during a conversion.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

// The environment variable that carries the maker's window geometry to the
// viewer it starts (never the command line, whose whole text is the path).
inline constexpr char kMakerGeometryVariable[] = "PICTORIA_MAKER_GEOMETRY";

struct WindowGeometry {
    QRect frame;  // with the window manager's decorations
    QRect client; // the window's own area
};

QString EncodeWindowGeometry(const WindowGeometry& g);
std::optional<WindowGeometry> DecodeWindowGeometry(const QString& text);

// Top-left corner for a frame of frameSize beside maker within screen: to its
// right when that fits, else to its left, else nothing (the platform chooses).
std::optional<QPoint> PlaceBeside(const QRect& maker, const QSize& frameSize, const QRect& screen);
