#include "ViewerLaunch.h"

#include <QProcess>

namespace {
ViewerHook& Hook()
{
    static ViewerHook hook;
    return hook;
}
} // namespace

void SetViewerHook(ViewerHook hook)
{
    Hook() = std::move(hook);
}

bool StartViewer(const QString& program, const QString& argument)
{
    if (Hook())
        return Hook()(program, argument);
    return QProcess::startDetached(program, {argument});
}
