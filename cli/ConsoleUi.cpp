#include "ConsoleUi.h"

#include <ostream>

namespace mirantos::cli {

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

void TConsolePanels::SetPanelText(int index, const QString& text)
{
    if (index < 0 || index >= PanelCount)
        return;
    texts_[static_cast<size_t>(index)] = text;
    if (onChange)
        onChange(index);
}

void TConsolePanels::SetPanelWidth(int index, int width)
{
    if (index < 0 || index >= PanelCount)
        return;
    widths_[static_cast<size_t>(index)] = width;
}

int TConsolePanels::TextWidth(const QString& text) const
{
    return static_cast<int>(text.size());
}

QString TConsolePanels::PanelText(int index) const
{
    if (index < 0 || index >= PanelCount)
        return QString();
    return texts_[static_cast<size_t>(index)];
}

void TStreamPresenter::ShowError(const QString& /*caption*/, const QString& text)
{
    ++shown_;
    err_ << Utf8(text) << '\n' << std::flush;
}

TCliHost::TCliHost(const TControlValues& controls)
    : controls_(controls), caption_(QString::fromUtf8(mirantos::kStartCaption))
{
}

} // namespace mirantos::cli
