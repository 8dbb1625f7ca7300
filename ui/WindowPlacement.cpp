// SPDX-License-Identifier: MIT
#include "ui/WindowPlacement.h"

#include <QStringList>

#include <array>

QString EncodeWindowGeometry(const WindowGeometry& g)
{
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8")
        .arg(g.frame.x())
        .arg(g.frame.y())
        .arg(g.frame.width())
        .arg(g.frame.height())
        .arg(g.client.x())
        .arg(g.client.y())
        .arg(g.client.width())
        .arg(g.client.height());
}

std::optional<WindowGeometry> DecodeWindowGeometry(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 8)
        return std::nullopt;
    std::array<int, 8> v{};
    for (size_t i = 0; i < v.size(); ++i) {
        bool ok = false;
        v[i] = parts[qsizetype(i)].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const WindowGeometry g{QRect(v[0], v[1], v[2], v[3]), QRect(v[4], v[5], v[6], v[7])};
    if (g.frame.isEmpty() || g.client.isEmpty())
        return std::nullopt;
    return g;
}

std::optional<QPoint> PlaceBeside(const QRect& maker, const QSize& frameSize, const QRect& screen)
{
    const int top =
        std::clamp(maker.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - frameSize.height()));
    const QRect right(QPoint(maker.right() + 1, top), frameSize);
    if (screen.contains(right))
        return right.topLeft();
    const QRect left(QPoint(maker.left() - frameSize.width(), top), frameSize);
    if (screen.contains(left))
        return left.topLeft();
    return std::nullopt;
}
