// Starting the viewer Lumenpane on a text picture file.
#pragma once

#include <QString>
#include <functional>

inline const QString kViewerProgramName = QStringLiteral("Lumenpane");

// Starts program with the one argument, detached: no shell, so blanks and
// Japanese characters in the argument arrive whole. False when it could not start.
bool StartViewer(const QString& program, const QString& argument);

// Tests record launches through this hook instead of starting a process.
using ViewerHook = std::function<bool(const QString& program, const QString& argument)>;
void SetViewerHook(ViewerHook hook);
