#include "Mymessage.h"

#include "Texts.h"

#include <cstring>

using mirantos::U;

TmyMessage::TmyMessage(const QString& name, const char* caption, IMessagePresenter* presenter)
    : name_(name), caption_{}, presenter_(presenter)
{
    // The caption field holds at most 19 bytes and its NUL; a longer caption is
    // cut, at a character boundary so no half UTF-8 sequence is left behind.
    if (caption == nullptr)
        return;
    size_t len = std::strlen(caption);
    if (len >= sizeof caption_) {
        len = sizeof caption_ - 1;
        while (len > 0 && (static_cast<unsigned char>(caption[len]) & 0xC0) == 0x80)
            --len;
    }
    std::memcpy(caption_, caption, len);
    caption_[len] = '\0';
}

QString TmyMessage::MemoryErrorText(const QString& part)
{
    return U(mirantos::text::BoxMemoryError) + part;
}

QString TmyMessage::NotFoundText() const
{
    return name_ + U(mirantos::text::BoxNotFoundSuffix);
}

QString TmyMessage::NotFoundText(const QString& reason) const
{
    return reason.isEmpty() ? NotFoundText() : NotFoundText() + QStringLiteral("\n") + reason;
}

QString TmyMessage::NoResponseText() const
{
    return name_ + U(mirantos::text::BoxNoResponseSuffix);
}

QString TmyMessage::Caption() const
{
    return QString::fromUtf8(caption_);
}

void TmyMessage::MemoryError(const QString& part)
{
    Show(MemoryErrorText(part));
}

void TmyMessage::NotFoundError(const QString& reason)
{
    Show(NotFoundText(reason));
}

void TmyMessage::NoResponseError()
{
    Show(NoResponseText());
}

void TmyMessage::SaveError()
{
    Show(U(mirantos::text::BoxSaveError));
}

void TmyMessage::DataFileError()
{
    Show(U(mirantos::text::BoxDataFileError));
}

void TmyMessage::NoDataError()
{
    Show(U(mirantos::text::BoxNoDataError));
}

void TmyMessage::Show(const QString& text)
{
    if (presenter_ != nullptr)
        presenter_->ShowError(Caption(), text);
}
