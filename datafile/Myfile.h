#pragma once
// The ".DTA" measurement data file: a tag line, a settings block and a block of
// raw converter codes for one or two channels. TmyFile writes it whole through
// the program's one whole-file writer (record/WholeFile.h) and reads it with a
// tolerant line grammar. Pure C++ and POSIX; no Qt.

#include "MeasureRecord.h"

#include <functional>
#include <string>
#include <string_view>

enum class TSaveOutcome { Written, Declined, Failed };

// Asked when the target exists; gets the question text; true means "はい(&Y)".
using TOverwriteQuestion = std::function<bool(const std::string& questionText)>;

// "ファイル：<name>があります。\n上書きしますか"
std::string OverwriteQuestionText(const std::string& fileName);

// The save command's extension rule: a name that does not end in exactly ".DTA"
// (case-sensitive) gets ".DTA" appended: run1 -> run1.DTA, run1.DTA stays,
// run1.dta -> run1.dta.DTA. Any length.
std::string WithDtaExtension(const std::string& name);

// The exact bytes the writer produces (CR LF line ends). Count must lie within
// 0..CHANNEL_CAPACITY and Code must be set when Count > 0; otherwise false.
bool FormatDataFile(const TAdcSetting& setting, const TChannelData& ch, std::string& out);
bool FormatDataFile2ch(const TAdcSetting& setting, const TChannelData& ch0, const TChannelData& ch1,
                       std::string& out);

class TmyFile {
public:
    // Without a question, an existing file is never overwritten (Declined).
    // The question is asked only where a write would replace a file (or
    // create one behind a link to nothing) and only once WriteProblem has
    // nothing against the name: a folder, a read-only file, a FIFO nobody
    // reads fail without a question.
    explicit TmyFile(TOverwriteQuestion ask = {});
    void SetOverwriteQuestion(TOverwriteQuestion ask);

    // One-channel file. True when written or when the overwrite was declined
    // (outcome tells which); false on any error, the old file then left
    // intact and Error() saying why.
    bool SaveData(const std::string& fileName, const TAdcSetting* setting, const TChannelData* ch,
                  TSaveOutcome* outcome = nullptr);
    // Two-channel file; the line count is ch0->Count.
    bool SaveData2ch(const std::string& fileName, const TAdcSetting* setting,
                     const TChannelData* ch0, const TChannelData* ch1,
                     TSaveOutcome* outcome = nullptr);
    // Fills the six stored settings and the Count/Code of the buffers (each must
    // hold CHANNEL_CAPACITY codes). On false the arguments are partly filled and
    // should be discarded, and *reason (when given) says where and why
    // ("line 9: bad value of CHSel \"x\"").
    bool LoadData(const std::string& fileName, TAdcSetting* setting, TChannelData* ch0,
                  TChannelData* ch1, std::string* reason = nullptr);

    // Why the last save failed ("PATH is read-only"); empty after success.
    const std::string& Error() const { return error_; }

private:
    bool Load(const std::string& fileName, TAdcSetting* setting, TChannelData* ch0,
              TChannelData* ch1, std::string& why);
    bool Save(const std::string& fileName, const std::string& content, TSaveOutcome* outcome);

    TOverwriteQuestion ask_;
    std::string error_;
};
