#include "ControllerRig.h"

#include "Texts.h"

#include <QCoreApplication>

namespace mirantos::testing {

ControllerRig::ControllerRig(std::unique_ptr<IFtdiDriver> driver)
{
    message = std::make_unique<TmyMessage>(QString::fromUtf8(text::BoardName), text::BoxCaption,
                                           &presenter);
    status = std::make_unique<TmyStatus>(&panels, QString::fromUtf8(text::BoardShortName),
                                         TmyStatus::DetailPanel);
    adc = std::make_unique<TADC>(&owner, std::move(driver));
    IGraphLabel* const xs[2] = {&xLabels[0], &xLabels[1]};
    IGraphLabel* const ys[11] = {&yLabels[0], &yLabels[1], &yLabels[2], &yLabels[3],
                                 &yLabels[4], &yLabels[5], &yLabels[6], &yLabels[7],
                                 &yLabels[8], &yLabels[9], &yLabels[10]};
    graph =
        std::make_unique<TGraph_2CH>(&paintBox, &record.Ch0, &record.Ch1, &record.Setting, xs, ys);
    graph->ResizeBitmap();
    controller = std::make_unique<TMeasureController>(&host, &record, adc.get(), status.get(),
                                                      message.get(), graph.get());
    QObject::connect(controller.get(), &TMeasureController::RunStarted, &owner,
                     [this] { ++runs.started; });
    QObject::connect(controller.get(), &TMeasureController::RunEnded, &owner,
                     [this](TMeasureController::RunEnd how) { runs.ends.push_back(how); });
}

ControllerRig::~ControllerRig()
{
    // The controller refers to the driver and the graph: it goes first.
    controller.reset();
    graph.reset();
    adc.reset();
}

bool ControllerRig::PollUntilIdle(int maxPolls)
{
    for (int i = 0; i < maxPolls && Measuring(); ++i) {
        controller->Poll();
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    return !Measuring();
}

} // namespace mirantos::testing
