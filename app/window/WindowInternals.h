#pragma once
// What the window's own files share: the client area's design size and the
// scope that marks a handler as running.

#include "Mirantos_Main.h"

#include <QFile>
#include <string>

namespace mirantos {

inline constexpr int kClientWidth = 792;
inline constexpr int kClientHeight = 506;
inline constexpr int kStatusBarHeight = 20;

inline std::string ToPath(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

} // namespace mirantos

// Marks a handler of ours as running, so that a close that arrives while it
// waits (a command's answer, a redraw, a modal box) is carried out afterwards.
class TFormMain::HandlerScope {
public:
    explicit HandlerScope(TFormMain* w) : w_(w) { ++w_->handlerDepth_; }
    ~HandlerScope() { --w_->handlerDepth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    TFormMain* w_;
};
