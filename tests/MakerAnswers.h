// SPDX-License-Identifier: MIT
// Services for a maker window under test: dialogs answered, message boxes and
// viewer launches recorded, every cell and character shown.
#pragma once

#include "maker/MakerServices.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QSlider>

#include <optional>
#include <utility>
#include <vector>

struct MakerAnswers {
    std::vector<std::pair<QString, QString>> messages;           // text, caption
    std::optional<QString> openAnswer, saveAnswer;               // nothing: cancel
    std::vector<std::tuple<QString, QString, QString>> launches; // program, argument, the maker's geometry
    int viewerFailure = 0; // the errno value the viewer does not start with; 0: it starts
    std::function<void(const QString& argument)> onLaunch = [](const QString&) {};

    MakerServices Services()
    {
        MakerServices s;
        s.message = [this](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon) {
            messages.emplace_back(text, caption);
        };
        s.chooseFile = [this](QWidget*, const CommonDialog&, bool save) { return save ? saveAnswer : openAnswer; };
        s.startViewer = [this](const QString& program, const QString& argument, const QString& geometry) {
            launches.emplace_back(program, argument, geometry);
            onLaunch(argument);
            return viewerFailure == 0 ? Outcome::Done() : Outcome::FromErrno(program, viewerFailure);
        };
        s.screenRefresh = std::chrono::milliseconds(0);
        s.eventInterval = std::chrono::microseconds(0);
        return s;
    }
};

// Moves a slider to position as a person does with the keyboard: Home, then
// Right key by key. Setting its value alone is no click and changes no setting.
inline void KeySlider(QSlider* slider, int position)
{
    auto key = [slider](int k) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, k, Qt::NoModifier);
            QCoreApplication::sendEvent(slider, &event);
        }
    };
    key(Qt::Key_Home);
    for (int i = 0; i < position; ++i)
        key(Qt::Key_Right);
}
