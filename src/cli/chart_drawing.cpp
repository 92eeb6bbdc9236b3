// SPDX-License-Identifier: Apache-2.0
#include "cli/chart_module.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QBoxPlotSeries>
#include <QtCharts/QBoxSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>

#include <QPen>

#include <cstdio>
#include <memory>

namespace ombrel::cli {

namespace {

// Qt Charts draws through widgets, which need an application object; the tool
// has none, and may run where there is no display.
std::unique_ptr<QApplication> applicationIfNone() {
    if (QCoreApplication::instance())
        return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ombrel";
    static char *argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

// Qt's notes about the session (no runtime folder, no display) say nothing
// about the chart; only critical messages reach stderr while drawing.
void quiet(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

} // namespace ombrel::cli

// The module's one entry point; the tool finds it with dlsym.
extern "C" OMBREL_CHART_EXPORT bool ombrel_draw_nc_chart_v2(const ombrel::cli::NcChart &request,
                                                            std::string &png) {
    using namespace ombrel::cli;
    const std::string &title = request.title;
    const std::vector<std::string> &categories = request.categories;
    const std::vector<ChartSeries> &series = request.series;
    const QtMessageHandler previous = qInstallMessageHandler(quiet);
    struct Restore {
        QtMessageHandler handler;
        ~Restore() { qInstallMessageHandler(handler); }
    } restore{previous};
    const auto app = applicationIfNone();
    auto *chart = new QChart;
    chart->setTitle(QString::fromStdString(title));
    chart->setAnimationOptions(QChart::NoAnimation);
    auto *axisX = new QBarCategoryAxis;
    for (const auto &c : categories)
        axisX->append(QString::fromStdString(c));
    auto *axisY = new QValueAxis;
    axisY->setTitleText("NC");
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);

    double lowest = 0;
    auto *bars = new QBarSeries;
    bars->setBarWidth(0.8); // lines the bars up with the range whiskers
    std::vector<QBoxPlotSeries *> ranges;
    for (const ChartSeries &s : series) {
        auto *set = new QBarSet(QString::fromStdString(s.name));
        for (double v : s.values) {
            set->append(v);
            lowest = std::min(lowest, v);
        }
        bars->append(set);
        if (s.low.empty())
            continue;
        // A box collapsed onto the mean, its whiskers reaching min and max.
        auto *whiskers = new QBoxPlotSeries;
        whiskers->setName(QString::fromStdString(s.name + " min-max"));
        whiskers->setBrush(Qt::NoBrush);
        whiskers->setPen(QPen(Qt::black, 1.5));
        whiskers->setBoxWidth(0.25);
        for (std::size_t i = 0; i < s.values.size(); ++i) {
            whiskers->append(new QBoxSet(s.low[i], s.values[i], s.values[i], s.values[i], s.high[i]));
            lowest = std::min(lowest, s.low[i]);
        }
        ranges.push_back(whiskers);
    }
    chart->addSeries(bars);
    bars->attachAxis(axisX);
    bars->attachAxis(axisY);
    for (QBoxPlotSeries *whiskers : ranges) {
        chart->addSeries(whiskers);
        whiskers->attachAxis(axisX);
        whiskers->attachAxis(axisY);
    }
    axisY->setRange(lowest < 0 ? -1.0 : 0.0, 1.0);
    axisX->setLabelsAngle(-45);

    QChartView view(chart); // owns the chart
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(std::max<int>(640, 90 * static_cast<int>(categories.size()) + 160), 480);
    const QImage picture = view.grab().toImage();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        return false;
    png.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}
