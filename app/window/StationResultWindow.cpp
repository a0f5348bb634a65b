#include "StationResultWindow.h"

#include "AnalysisTexts.h"
#include "Myfile.h"
#include "Mymessage.h"
#include "StationTable.h"
#include "StationTexts.h"
#include "Texts.h"
#include "UiFont.h"
#include "WholeFile.h"
#include "WindowDialogs.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

namespace mirantos {

namespace {

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignLeft)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// The start as the bench's clock read it.
QString LocalTime(const std::string& utc)
{
    const QDateTime t = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
    return t.isValid() ? QLocale::c().toString(t.toLocalTime(), "yyyy-MM-dd HH:mm:ss")
                       : QString::fromStdString(utc);
}

const QColor kPassColor(0, 128, 0);
const QColor kFailColor(200, 0, 0);
const QColor kErrorColor(200, 110, 0);
const QColor kWaitColor(110, 110, 110);

void SetColor(QWidget* w, const QColor& color)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, color);
    w->setPalette(palette);
}

} // namespace

TStationResultWindow::TStationResultWindow(QWidget* parent, IWindowDialogs* dialogs,
                                           IMessagePresenter* presenter)
    : QWidget(parent), dialogs_(dialogs), presenter_(presenter)
{
    setWindowTitle(U(text::StationResultTitle));
    setFont(UiFont(WindowFontPixels));
    test_ = new QLabel;
    run_ = new QLabel;
    product_ = new QLabel;
    board_ = new QLabel(U(text::StationSimulatedResult));
    QFont bold = board_->font();
    bold.setBold(true);
    board_->setFont(bold);
    board_->hide();
    verdict_ = new QLabel;
    verdict_->setAlignment(Qt::AlignCenter);
    QFont big = UiFont(36);
    big.setBold(true);
    verdict_->setFont(big);
    table_ = new QTableWidget(0, 6);
    table_->setHorizontalHeaderLabels(StationHeader());
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(ColFigure, QHeaderView::Stretch);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reason_ = new QLabel;
    reason_->setWordWrap(true);
    reason_->hide();
    data_ = new QLabel;
    data_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    storage_ = new QLabel;
    storage_->setWordWrap(true);
    storage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Serials, names, paths and server messages are shown as written.
    for (QLabel* l : {test_, run_, product_, reason_, data_, storage_})
        l->setTextFormat(Qt::PlainText);
    certificateBtn_ = new QPushButton(U(text::StationSaveCertificate));
    certificateBtn_->setEnabled(false);
    connect(certificateBtn_, &QPushButton::clicked, this, &TStationResultWindow::SaveCertificate);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(test_);
    layout->addWidget(run_);
    layout->addWidget(product_);
    layout->addWidget(board_);
    layout->addWidget(verdict_);
    layout->addWidget(reason_);
    layout->addWidget(table_, 1);
    layout->addWidget(data_);
    layout->addWidget(storage_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(certificateBtn_);
    layout->addLayout(buttons);
    resize(720, 440);
}

void TStationResultWindow::ShowHeader(const station::TTestLimits& limits,
                                      const TStationResultFacts& facts)
{
    test_->setText(U(text::StationTestCaption) + QString::fromStdString(limits.name) +
                   QStringLiteral(" (") + QString::fromStdString(limits.version) +
                   QStringLiteral(")") + U(text::StationSerialInfix) + facts.serial);
    run_->setText(U(text::StationDateCaption) + LocalTime(facts.startedUtc) +
                  U(text::StationOperatorInfix) + facts.operatorName);
    QStringList product;
    for (const auto& [caption, value] :
         {std::pair{text::StationPartHeader, facts.partNumber.isEmpty()
                                                 ? QString::fromStdString(limits.partNumber)
                                                 : facts.partNumber},
          std::pair{text::StationLotHeader,
                    facts.lot.isEmpty() ? QString::fromStdString(limits.lot) : facts.lot},
          std::pair{text::StationDutHeader, facts.dutId}}) {
        if (!value.isEmpty())
            product << U(caption) + value;
    }
    product_->setText(product.join(QStringLiteral(" / ")));
    product_->setVisible(!product.isEmpty());
    board_->setVisible(facts.simulatedBoard);
}

void TStationResultWindow::ShowStarted(const station::TTestLimits& limits,
                                       const TStationResultFacts& facts)
{
    // Nothing of the last board may be read as this one's.
    ShowHeader(limits, facts);
    verdict_->setText(U(text::StationTesting));
    SetColor(verdict_, kWaitColor);
    reason_->clear();
    reason_->hide();
    table_->setRowCount(0);
    data_->clear();
    data_->hide();
    storage_->clear();
    certificateBtn_->setEnabled(false);
    certificate_ = {};
}

void TStationResultWindow::ShowVerdict(const station::TTestLimits& limits,
                                       const station::TVerdict& verdict,
                                       const TStationResultFacts& facts)
{
    ShowHeader(limits, facts);
    const bool error = verdict.DefinitionError();
    const bool aborted = !verdict.stopped.empty();
    verdict_->setText(U(aborted        ? text::StationAborted
                        : error        ? text::StationDefinitionError
                        : verdict.pass ? text::StationPass
                                       : text::StationFail));
    SetColor(verdict_, aborted        ? kWaitColor
                       : error        ? kErrorColor
                       : verdict.pass ? kPassColor
                                      : kFailColor);
    // Why the run did not complete: its figures are of what came before.
    reason_->setText(aborted ? U(text::StationAbortedNote)
                     : verdict.runError.empty()
                         ? QString()
                         : U(text::StationReadErrorNote) + U(verdict.runError));
    reason_->setVisible(!reason_->text().isEmpty());

    const std::vector<QStringList> rows = StationRows(verdict);
    table_->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        const QStringList& r = rows[i];
        const bool pass = verdict.checks[i].pass;
        table_->setItem(row, ColChannel, Cell(r[ColChannel]));
        QTableWidgetItem* figure = Cell(r[ColFigure]);
        // The limits file's own key, for whoever edits that file.
        figure->setToolTip(QString::fromStdString(verdict.checks[i].limit.figure));
        table_->setItem(row, ColFigure, figure);
        table_->setItem(row, ColValue, Cell(r[ColValue], Qt::AlignRight));
        table_->setItem(row, ColLimit, Cell(r[ColLimit], Qt::AlignRight));
        QTableWidgetItem* judged = Cell(r[ColVerdict], Qt::AlignCenter);
        judged->setForeground(pass                      ? kPassColor
                              : verdict.checks[i].value ? kFailColor
                                                        : kErrorColor);
        table_->setItem(row, ColVerdict, judged);
        table_->setItem(row, ColMargin, Cell(r[ColMargin], Qt::AlignRight));
    }
    table_->resizeColumnsToContents();
    table_->setCurrentCell(-1, -1);
    data_->setText(facts.dataPath.isEmpty() ? QString()
                                            : U(text::StationDataKept) + facts.dataPath);
    data_->setVisible(!facts.dataPath.isEmpty());
    storage_->clear();

    certificate_.header = QStringList{test_->text(), run_->text()};
    if (!product_->text().isEmpty())
        certificate_.header << product_->text();
    certificate_.pass = verdict.pass;
    certificate_.definitionError = error;
    certificate_.simulatedBoard = facts.simulatedBoard;
    certificate_.rows = rows;
    certificateName_ = QString::fromStdString(
        station::KeptDataName(facts.serial.toStdString(), facts.startedUtc, ".pdf"));
    // A test that did not complete certifies nothing.
    certificateBtn_->setEnabled(!aborted);
}

void TStationResultWindow::SetStoring(const QString& where)
{
    storing_ = true;
    storage_->setText(U(text::StationStoring) + QStringLiteral(" ") + where);
}

void TStationResultWindow::SetStored(const results::TStoreOutcome& outcome, const QString& where)
{
    storing_ = false;
    const QString message = QString::fromStdString(outcome.message);
    switch (outcome.kind) {
    case results::TStoreOutcome::Kind::Stored:
        storage_->setText(U(text::StationStored) + where);
        break;
    case results::TStoreOutcome::Kind::Spooled:
        storage_->setText(U(text::StationSpooled) + where + QStringLiteral("\n") + message);
        break;
    case results::TStoreOutcome::Kind::Failed:
        storage_->setText(U(text::StationStoreFailed) + where + QStringLiteral("\n") + message);
        break;
    }
    SetColor(storage_, outcome.kind == results::TStoreOutcome::Kind::Failed
                           ? kFailColor
                           : palette().color(QPalette::Text));
}

void TStationResultWindow::SaveCertificate()
{
    if (!certificateBtn_->isEnabled() || dialogs_ == nullptr)
        return;
    QString name;
    if (!dialogs_->SaveFileName(U(text::AnalysisPdfFilter), certificateName_, &name) ||
        name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".pdf");
    const std::string path = QFile::encodeName(name).toStdString();
    if (ReplacesOnWrite(path) &&
        !dialogs_->AskOverwrite(QString::fromUtf8(OverwriteQuestionText(path).c_str())))
        return;
    QByteArray bytes;
    std::string error;
    if (WriteStationCertificate(certificate_, &bytes) &&
        WriteFileWhole(path, std::string_view(bytes.constData(), bytes.size()), &error))
        return;
    if (presenter_ != nullptr)
        presenter_->ShowError(U(text::BoxCaption),
                              U(text::AnalysisSaveError) + QStringLiteral("\n") +
                                  (error.empty() ? name : QString::fromLocal8Bit(error.c_str())));
}

} // namespace mirantos
