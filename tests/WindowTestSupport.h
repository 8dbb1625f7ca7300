// Answers for the maker window's message boxes, dialogs and viewer launches,
// installed for the life of the object.
#pragma once

#include "maker/CommonDialog.h"
#include "ui/MessageBox.h"
#include "maker/ViewerLaunch.h"
#include "maker/frmMain.h"

#include <optional>
#include <utility>
#include <vector>

struct MakerAnswers {
    std::vector<std::pair<QString, QString>> messages; // text, caption
    std::optional<QString> openAnswer, saveAnswer;     // nothing: cancel
    std::vector<std::pair<QString, QString>> launches; // program, argument
    bool viewerStarts = true;

    MakerAnswers()
    {
        SetMessageHook([this](const QString& text, const QString& caption) { messages.emplace_back(text, caption); });
        CommonDialog::SetAnswerHook([this](const CommonDialog&, bool save) { return save ? saveAnswer : openAnswer; });
        SetViewerHook([this](const QString& program, const QString& argument) {
            launches.emplace_back(program, argument);
            return viewerStarts;
        });
    }
    ~MakerAnswers()
    {
        SetMessageHook({});
        CommonDialog::SetAnswerHook({});
        SetViewerHook({});
    }
    MakerAnswers(const MakerAnswers&) = delete;
    MakerAnswers& operator=(const MakerAnswers&) = delete;
};
