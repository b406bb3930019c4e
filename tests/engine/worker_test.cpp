#include "engine/worker.h"

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace calvane {
namespace {

using test::FitSetup;
using test::PhaseHarness;

// The Shift-JIS bytes of `lines`, each ended by CR LF.
std::string LogBytes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return Cp932(text);
}

struct WorkerRun {
  explicit WorkerRun(std::string_view formula) : setup(formula) {}
  int Run() { return RunWorker(setup.state(), harness.view, harness.log); }
  FitSetup setup;
  PhaseHarness harness{setup};
};

TEST(RunWorker, SmallFitWritesTheWholeLogByteForByte) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3.0);
  run.setup.SetTexts(0, "0", "0", "100", "1");
  run.setup.state().conditions.roughEstimation = 1;
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  run.harness.log.Close();
  const std::string expected = LogBytes({"計算準備--------------------",
                                         "変数の数",
                                         "1",
                                         "InitialValue",
                                         "0",
                                         "VarRegionL",
                                         "0",
                                         "VarRegionU",
                                         "100",
                                         "Accuracy",
                                         "1",
                                         "Accuracy_",
                                         "1",
                                         "概略推測フェーズ----------",
                                         "概略推測前のMinSquare\t9",
                                         "概略推測開始前行列",
                                         "MatrixB",
                                         "1",
                                         "MatrixA",
                                         "3",
                                         "概略推測終了後行列",
                                         "MatrixB",
                                         "1",
                                         "MatrixA",
                                         "3",
                                         "概略推測解でのSquare\t0",
                                         "途中解",
                                         "3",
                                         "最小二乗値\t0",
                                         "最小二乗値（再計算）\t0",
                                         "最小二乗計算フェーズ----------",
                                         "ステップ\t1",
                                         "途中解",
                                         "3",
                                         "最小二乗値\t0",
                                         "最小二乗値（再計算）\t0",
                                         "--------------------"});
  EXPECT_EQ(run.setup.ReadFile("Calculation.ini"), expected);
  EXPECT_EQ(run.setup.state().engine.CurrentValue[0], 3.0);
  EXPECT_EQ(run.setup.state().engine.StepTotal.load(), 1u);
}

TEST(RunWorker, ProgressViewSeesPhasesTotalsAndCompletion) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3.0);
  run.setup.AddPoint(2.0, 6.0);
  run.setup.SetTexts(0, "0", "0", "10", "0.001");
  run.setup.state().conditions.roughEstimation = 1;
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  const std::vector<std::string> expected = {
      "button:pause=0",
      "status:ただいま計算しています。",
      "phase:--- 概略推測フェーズ ---",
      "steptotal:1",
      "cycletotal:2",
      "counters:1/0",
      "counters:1/2",
      "button:pause=1",
      "status:ただいま計算しています。",
      "phase:--- 最小二乗計算フェーズ ---",
      "steptotal:2",
      "cycletotal:",
      "slash:",
  };
  const auto& calls = run.harness.view.calls;
  ASSERT_GE(calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 13), expected);
  EXPECT_TRUE(run.harness.view.Has("counters:1/0"));
  EXPECT_TRUE(run.harness.view.Has("counters:2/0"));
  const std::vector<std::string> tail(calls.end() - 9, calls.end());
  const std::string last_counters = tail[0];
  EXPECT_EQ(last_counters.rfind("counters:2/", 0), 0u);
  EXPECT_EQ(tail,
            (std::vector<std::string>{last_counters, "stoptimer", "button:ok=1", "button:abort=0",
                                      "status:完了しました。", "button:pause=0", last_counters,
                                      "stepvalue:2", "beep"}));
  EXPECT_EQ(run.harness.view.With("beep").size(), 1u);
  EXPECT_EQ(run.setup.state().engine.CurrentValue[0], 3.0);
}

TEST(RunWorker, WithoutRoughEstimateTheLogGoesStraightToTheLeastSquaresPhase) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3.0);
  run.setup.SetTexts(0, "0", "0", "100", "1");
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  const std::vector<std::string> lines = run.harness.LogLines();
  ASSERT_GT(lines.size(), 14u);
  EXPECT_EQ(lines[12], "1");  // the last working accuracy
  EXPECT_EQ(lines[13], "最小二乗計算フェーズ----------");
  EXPECT_TRUE(run.harness.view.With("phase:--- 概略推測").empty());
}

TEST(RunWorker, MissingTextNamesTheConstantAndStopsBeforeAnyLogLine) {
  struct Case {
    int field;  // 0 initial, 1 lower, 2 upper, 3 accuracy
    const char* message;
  };
  const Case cases[] = {
      {0, "k3の初期値が入力されていません。"},
      {1, "k3の下限が入力されていません。"},
      {2, "k3の上限が入力されていません。"},
      {3, "k3の計算精度が入力されていません。"},
  };
  for (const Case& c : cases) {
    WorkerRun run("k0*x+k3");
    run.setup.AddPoint(1.0, 1.0);
    run.setup.SetTexts(0, "1", "0", "10", "0.1");
    std::string texts[4] = {"2", "-5", "5", "0.01"};
    texts[c.field] = "   ";
    run.setup.SetTexts(3, texts[0], texts[1], texts[2], texts[3]);
    EXPECT_EQ(run.Run(), kWorkerConditionError) << c.message;
    EXPECT_EQ(run.harness.view.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(run.harness.view.calls.back(), "conditionerror");
    EXPECT_TRUE(run.harness.LogLines().empty());
    // The conditions were saved before the texts were read.
    EXPECT_NE(run.setup.ReadFile("FittingCondition.ini"), "<missing>");
    // Values stored before the failure stay.
    EXPECT_EQ(run.setup.state().engine.CurrentValue[0], 1.0);
  }
}

TEST(RunWorker, UnwritableConditionFileIsAConditionError) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3.0);
  run.setup.SetTexts(0, "0", "0", "100", "1");
  run.setup.state().working_directory = run.setup.dir().File("no/such/folder");
  EXPECT_EQ(run.Run(), kWorkerConditionError);
  EXPECT_EQ(run.harness.view.messages,
            std::vector<std::string>{"ファイルの書き込みに失敗しました。"});
  EXPECT_EQ(run.harness.view.calls.back(), "conditionerror");
}

TEST(RunWorker, FittingConditionFileIsWrittenFromTheRecord) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3.0);
  run.setup.SetTexts(0, "0", "0", "100", "1");
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  const std::string text = run.setup.ReadFile("FittingCondition.ini");
  EXPECT_EQ(text.substr(0, 20), "[Formula]\r\ny=\r\nk0*x\r");
  EXPECT_EQ(text.back(), '\0');
}

// Constants k2 and k7 only: two variables, listed in the order k2, k7.
TEST(RunWorker, ListsOnlyTheUsedConstantsInDigitOrder) {
  WorkerRun run("k7*x+k2");
  run.setup.AddPoint(0.0, 1.0);
  run.setup.AddPoint(1.0, 3.0);
  run.setup.SetTexts(2, "0.5", "-1", "1", "0.5");
  run.setup.SetTexts(7, "1.5", "-2", "2", "0.5");
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  const std::vector<std::string> lines = run.harness.LogLines();
  const std::vector<std::string> preparation(lines.begin(), lines.begin() + 18);
  EXPECT_EQ(preparation, (std::vector<std::string>{"計算準備--------------------", "変数の数", "2",
                                                   "InitialValue", "0.5", "1.5", "VarRegionL", "-1",
                                                   "-2", "VarRegionU", "1", "2", "Accuracy", "0.5",
                                                   "0.5", "Accuracy_", "0.5", "0.5"}));
  // k7 is constant index 0 (met first), k2 index 1.
  EXPECT_EQ(run.setup.state().engine.CurrentValue[0], 2.0);
  EXPECT_EQ(run.setup.state().engine.CurrentValue[1], 1.0);
}

TEST(RunWorker, StepTotalCountsTheHundredfoldRefinements) {
  struct Case {
    const char* lower;
    const char* upper;
    const char* accuracy;
    std::uint32_t steps;
    double first_working_accuracy;
  };
  const Case cases[] = {
      {"0", "10", "0.001", 2, 0.1},
      {"0", "0.05", "0.001", 1, 0.001},
      {"0", "100", "0.0001", 3, 1.0},
      {"5", "0", "0.1", 1, 0.1},  // bounds the wrong way round: the accuracy from the start
  };
  for (const Case& c : cases) {
    WorkerRun run("k0*x");
    run.setup.AddPoint(1.0, 0.0);
    run.setup.SetTexts(0, "0", c.lower, c.upper, c.accuracy);
    ASSERT_EQ(run.Run(), kWorkerCompleted);
    EXPECT_EQ(run.setup.state().engine.StepTotal.load(), c.steps) << c.upper << c.accuracy;
    EXPECT_EQ(run.setup.state().engine.StepCounter.load(), c.steps);
    const std::vector<std::string> lines = run.harness.LogLines();
    EXPECT_EQ(lines[12], FormatNumber(c.first_working_accuracy));
    EXPECT_TRUE(run.harness.view.Has("stepvalue:" + FormatNumber(c.steps)));
  }
}

TEST(RunWorker, LargestCountOverTheVariablesSetsTheStepTotal) {
  WorkerRun run("k0*x+k1");
  run.setup.AddPoint(0.0, 0.0);
  run.setup.AddPoint(1.0, 1.0);
  run.setup.SetTexts(0, "1", "0", "0.05", "0.001");  // one step
  run.setup.SetTexts(1, "0", "0", "10", "0.001");    // two steps
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  EXPECT_EQ(run.setup.state().engine.StepTotal.load(), 2u);
  EXPECT_EQ(run.setup.state().engine.Accuracy_[0], 0.001);
  EXPECT_EQ(run.setup.state().engine.Accuracy_[1], 0.001);
}

TEST(RunWorker, AppliesTheAngleUnitOfTheRun) {
  WorkerRun run("k0*Sin(x)");
  run.setup.AddPoint(30.0, 1.0);
  run.setup.SetTexts(0, "1", "0", "10", "0.1");
  CompiledFormula& formula = run.setup.state().formula;
  int sine_slot = -1;
  for (int s = 0; s < kMaxSlots && sine_slot < 0; ++s) {
    if (formula.opCode[s] == 11) sine_slot = s;
  }
  ASSERT_GE(sine_slot, 0);
  run.setup.state().conditions.angleUnit = AngleUnit::Degree;
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  EXPECT_EQ(formula.opCode[sine_slot], 17);
  EXPECT_NEAR(run.setup.state().engine.CurrentValue[0], 2.0, 0.1);  // sin 30 degrees = 0.5

  WorkerRun radian("k0*Sin(x)");
  radian.setup.AddPoint(30.0, 1.0);
  radian.setup.SetTexts(0, "1", "0", "10", "0.1");
  radian.setup.state().formula.opCode[sine_slot] = 17;
  radian.setup.state().formula.PrepareEvaluation();
  radian.setup.state().conditions.angleUnit = AngleUnit::Radian;
  ASSERT_EQ(radian.Run(), kWorkerCompleted);
  EXPECT_EQ(radian.setup.state().formula.opCode[sine_slot], 11);
}

TEST(RunWorker, OverflowEndsTheRunWithCodeTwoAndKeepsButtons) {
  WorkerRun run("k0*x");
  run.setup.AddPoint(1.0, 3e100);
  run.setup.SetTexts(0, "1", "0", "10", "0.1");
  run.setup.state().conditions.roughEstimation = 1;
  EXPECT_EQ(run.Run(), kWorkerStopped);
  EXPECT_EQ(run.setup.state().engine.CurrentValue[0], 1.0);
  EXPECT_EQ(run.harness.view.messages,
            (std::vector<std::string>{
                "初期値が不適切なため、二乗値が非常に大きくなっています。\r概略推測できません。",
                "計算中の二乗値が非常に大きくなっています。\rこれ以上計算を継続できません。"}));
  EXPECT_TRUE(run.harness.view.With("button:ok").empty());
  const std::vector<std::string> lines = run.harness.LogLines();
  EXPECT_EQ(lines.back(), "最小二乗計算フェーズ----------");
}

// The evaluator's first message reaches the message area through the view.
TEST(RunWorker, EvaluatorMessagesReachTheMessageArea) {
  WorkerRun run("k0*Sqrt(x)");
  run.setup.AddPoint(-1.0, 1.0);
  run.setup.AddPoint(1.0, 1.0);
  run.setup.SetTexts(0, "1", "0", "10", "0.1");
  ASSERT_EQ(run.Run(), kWorkerCompleted);
  ASSERT_FALSE(run.harness.view.messages.empty());
  EXPECT_EQ(run.harness.view.messages[0], "Sqrtの対象に負の値が指定されました。計算できません。");
  EXPECT_EQ(run.harness.view.messages.size(), 1u);  // no bound warning after an error
}

}  // namespace
}  // namespace calvane
