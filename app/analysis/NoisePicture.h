#pragma once
// The caption of a saved noise picture: what the data are (file or span,
// channel, rate, length in samples and seconds) and when, written under the
// plots and into the PNG's "Description" text, so a picture found later
// still says what it shows.

#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>

namespace mirantos {

struct TPictureFacts {
    QString name; // the data's file, the span's source, or empty for unsaved data
    int channel = 0;
    double rateSps = 0;
    int64_t samples = 0;
    QString startUtc; // the capture's start, empty when not known
    QDateTime made;
};

// One line: "run.csv  CH1  400 sps  1000 サンプル (2.5 s)  作成 2026-12-08 14:05".
QString PictureCaption(const TPictureFacts& facts);

// The height of the caption's strip at the bottom of a picture.
inline constexpr int kCaptionHeight = 40;

// `plots` above a white strip with the caption: kCaptionHeight taller than
// `plots`, the caption also its "Description" text.
QImage WithCaption(const QImage& plots, const QString& caption);

} // namespace mirantos
