// Window tests of the main-window graph: the window is rendered into an image and the data dots,
// the axes and the curve are looked up at the pixels the plot rules give.

#include <QImage>
#include <QLabel>
#include <QtTest>

#include "app/graph_scale.h"
#include "app/graph_widget.h"
#include "app/main_window.h"
#include "base/workflow_state.h"
#include "conditions/condition_record.h"
#include "formula/formula_check.h"
#include "tests/support/recording_prompter.h"

namespace calvane {

class GraphWidgetTest : public QObject {
  Q_OBJECT

 private:
  // Eleven points x = 0..10, y = 2x + 1, left side y, the formula `formula` with k0 = 2, k1 = 1.
  struct Fixture {
    explicit Fixture(WorkflowStateValue workflow, const char* formula = "k0*x+k1")
        : state(MakeAppState(".")), window(*state, prompter) {
      for (int i = 0; i <= 10; ++i) state->points.records[i] = {double(i), 2.0 * i + 1.0, 0.0};
      state->points.count = 11;
      state->ranges = {0.0, 10.0, 1.0, 21.0};
      state->conditions.leftSide = LeftSide::Y;
      const FormulaCheckCode code = CheckFormula(state->formula, formula, LeftSide::Y);
      if (code != FormulaCheckCode::FormulaValid)
        qFatal("formula %s: code %d", formula, static_cast<int>(code));
      state->formula.paramValue[0] = 2.0;
      state->formula.paramValue[1] = 1.0;
      state->workflow = workflow;
    }
    QImage Render() {
      return window.graph()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    PlotOrigin Origin() const {
      return PlotOriginFor(window.graph()->width(), window.graph()->height());
    }
    QString Label(int id) const {
      return window.graph()->findChild<QLabel*>(QString::number(id))->text();
    }
    std::unique_ptr<AppState> state;
    test::RecordingPrompter prompter;
    MainWindow window;
  };

  static QColor At(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

  // Pixel of data point (x, 2x + 1) for the fixture's ranges.
  static QPoint DataPixel(const PlotOrigin& o, int i) {
    return {o.x0 + 32 * i, o.y0 - 10 * (2 * i)};
  }

  static bool ColumnHas(const QImage& image, int x, const QColor& colour, int top, int bottom) {
    for (int y = top; y <= bottom; ++y) {
      if (At(image, x, y) == colour) return true;
    }
    return false;
  }

 private slots:
  void withoutDataOnlyTheSeparatorIsDrawn() {
    Fixture f(WorkflowStateValue::kNoData);
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    for (const int x : {0, 100, image.width() - 1}) {
      QCOMPARE(At(image, x, 29), kSeparatorGrey);
      QCOMPARE(At(image, x, 30), kSeparatorWhite);
    }
    QVERIFY(At(image, o.x0 + 10, o.y0) != kAxisColour);
    QVERIFY(At(image, o.x0, o.y0 - 10) != kAxisColour);
    for (int i = 0; i <= 10; ++i) {
      const QPoint p = DataPixel(o, i);
      QVERIFY(At(image, p.x(), p.y()) != kPointColour);
    }
    QCOMPARE(f.Label(1026), QString());
    QCOMPARE(f.Label(1027), QString());
  }

  void dataDotsAndAxesSitAtTheirPixels() {
    Fixture f(WorkflowStateValue::kDataLoaded);
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    QCOMPARE(o.x0, MainWindow::kClientWidth / 2 - 250);
    QCOMPARE(At(image, o.x0 + 100, o.y0), kAxisColour);
    QCOMPARE(At(image, o.x0, o.y0 - 100), kAxisColour);
    QVERIFY(At(image, o.x0 + 100, o.y0 + 1) != kAxisColour);
    for (int i = 0; i <= 10; ++i) {
      const QPoint p = DataPixel(o, i);
      for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
          QVERIFY2(At(image, p.x() + dx, p.y() + dy) == kPointColour,
                   qPrintable(QStringLiteral("point %1 offset %2,%3").arg(i).arg(dx).arg(dy)));
        }
      }
    }
    // State 1 (data loaded, or a run going on): no curve anywhere in the box.
    for (int x = o.x0; x <= o.x0 + 320; ++x) {
      QVERIFY(!ColumnHas(image, x, kCurveColour, o.y0 - 210, o.y0 + 10));
    }
    QCOMPARE(f.Label(1026), QStringLiteral("x (x系列)"));
    QCOMPARE(f.Label(1027), QStringLiteral("y"));
  }

  void leftSideXSwapsTheAxes() {
    Fixture f(WorkflowStateValue::kDataLoaded);
    f.state->conditions.leftSide = LeftSide::X;
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    // Point i: horizontal y = 2i + 1 over [1, 21] (16 px per unit), vertical x = i over [0, 10].
    for (int i = 0; i <= 10; ++i) {
      QCOMPARE(At(image, o.x0 + 16 * (2 * i), o.y0 - 20 * i), kPointColour);
    }
    QCOMPARE(f.Label(1026), QStringLiteral("y (y系列)"));
    QCOMPARE(f.Label(1027), QStringLiteral("x"));
  }

  void curveColumnsFollowTheFormula() {
    Fixture f(WorkflowStateValue::kCompletedResults);
    f.state->formula.paramValue[0] = 1.0;  // y = x + 1: below the data except at x = 0
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    for (int j = 0; j <= 320; j += 8) {
      const double h = j * (10.0 / 320.0);
      const int y = static_cast<int>(o.y0 + (static_cast<float>(h + 1.0) - 1.0) * -10.0);
      QVERIFY2(At(image, o.x0 + j, y) == kCurveColour, qPrintable(QString::number(j)));
    }
    // Data dots away from the curve keep their colour.
    const QPoint p = DataPixel(o, 10);
    QCOMPARE(At(image, p.x(), p.y()), kPointColour);
  }

  void failingFormulaLeavesAGap() {
    Fixture f(WorkflowStateValue::kCompletedResults, "Sqrt(x)*k0");
    f.state->ranges.min_x = -10.0;  // the left half of the columns takes a negative root
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    for (int j = 0; j < 159; ++j) {
      QVERIFY2(!ColumnHas(image, o.x0 + j, kCurveColour, 31, image.height() - 1),
               qPrintable(QString::number(j)));
    }
    for (int j = 161; j <= 320; ++j) {
      QVERIFY2(ColumnHas(image, o.x0 + j, kCurveColour, 31, image.height() - 1),
               qPrintable(QString::number(j)));
    }
    QVERIFY(f.prompter.calls().empty());  // no message while painting
  }

  void dataIntervalDrawsEveryDthPoint() {
    Fixture f(WorkflowStateValue::kDataLoaded);
    f.state->conditions.dataInterval = 3;
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    for (int i = 0; i <= 10; ++i) {
      const QPoint p = DataPixel(o, i);
      QVERIFY2((At(image, p.x(), p.y()) == kPointColour) == (i % 3 == 0),
               qPrintable(QString::number(i)));
    }
  }

  void plotFollowsTheClientSize() {
    Fixture f(WorkflowStateValue::kDataLoaded);
    f.window.resize(700, 600);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    const QImage image = f.Render();
    const PlotOrigin o = f.Origin();
    QCOMPARE(o.x0, f.window.graph()->width() / 2 - 250);
    QCOMPARE(At(image, o.x0 + 50, o.y0), kAxisColour);
    const QPoint p = DataPixel(o, 5);
    QCOMPARE(At(image, p.x(), p.y()), kPointColour);
  }
};

}  // namespace calvane

QTEST_MAIN(calvane::GraphWidgetTest)
#include "graph_widget_qtest.moc"
