#pragma once
// TmyMessage: the program's modal error boxes. The box itself is shown by an
// IMessagePresenter (QMessageBox in the window, a recorder in tests, stderr in
// the command-line tool).

#include <QString>

class IMessagePresenter {
public:
    virtual ~IMessagePresenter() = default;
    // Modal, no owner, error icon, one OK button.
    virtual void ShowError(const QString& caption, const QString& text) = 0;
};

class TmyMessage {
public:
    // `name` goes in front of the board texts; `caption` titles every box and
    // is kept in 20 bytes (a longer one is cut). The presenter is borrowed.
    TmyMessage(const QString& name, const char* caption, IMessagePresenter* presenter);

    void MemoryError(const QString& part);
    // `reason` (the link's own words about why, when it has any) goes on a
    // second line under the fixed text.
    void NotFoundError(const QString& reason = {});
    void NoResponseError();
    void SaveError();
    void DataFileError();
    void NoDataError();

    // The texts, for callers that print instead of showing a box.
    static QString MemoryErrorText(const QString& part);
    QString NotFoundText() const;
    QString NotFoundText(const QString& reason) const;
    QString NoResponseText() const;
    QString Caption() const;

private:
    void Show(const QString& text);
    QString name_;
    char caption_[20];
    IMessagePresenter* presenter_;
};
