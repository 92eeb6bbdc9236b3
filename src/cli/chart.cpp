#include "cli/chart.h"

#include <QApplication>
#include <QSaveFile>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QBoxPlotSeries>
#include <QtCharts/QBoxSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>

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

} // namespace

bool saveNcChart(const std::string &path, const std::string &title,
                 const std::vector<std::string> &categories,
                 const std::vector<ChartSeries> &series) {
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
    bool anyBars = false;
    for (const ChartSeries &s : series) {
        if (s.low.empty()) {
            auto *set = new QBarSet(QString::fromStdString(s.name));
            for (double v : s.values) {
                set->append(v);
                lowest = std::min(lowest, v);
            }
            bars->append(set);
            anyBars = true;
            continue;
        }
        // A box collapsed onto the mean, its whiskers reaching min and max.
        auto *boxes = new QBoxPlotSeries;
        boxes->setName(QString::fromStdString(s.name));
        for (std::size_t i = 0; i < s.values.size(); ++i) {
            boxes->append(new QBoxSet(s.low[i], s.values[i], s.values[i], s.values[i], s.high[i]));
            lowest = std::min(lowest, s.low[i]);
        }
        chart->addSeries(boxes);
        boxes->attachAxis(axisX);
        boxes->attachAxis(axisY);
    }
    if (anyBars) {
        chart->addSeries(bars);
        bars->attachAxis(axisX);
        bars->attachAxis(axisY);
    } else {
        delete bars;
    }
    axisY->setRange(lowest < 0 ? -1.0 : 0.0, 1.0);
    axisX->setLabelsAngle(-45);

    QChartView view(chart); // owns the chart
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(std::max<int>(640, 70 * static_cast<int>(categories.size()) + 160), 480);
    const QImage picture = view.grab().toImage();

    QSaveFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit();
}

} // namespace ombrel::cli
