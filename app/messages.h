#pragma once

#include <string_view>

#include "base/base_messages.h"
#include "conditions/condition_messages.h"

namespace calvane::text {

// The application shell's own texts, UTF-8, exactly as the user sees them.

inline constexpr std::string_view kMainCaption = "Calvane";

// Status line (control 1029): the next step for the user.

// The save dialog of the results report.
inline constexpr std::string_view kSaveResultsTitle = "計算結果ファイルの保存";
inline constexpr std::string_view kResultsFilterLabel = "計算結果ファイル(*.txt)";
inline constexpr std::string_view kResultsFilterPattern = "*.txt";
inline constexpr std::string_view kResultsDefaultExtension = "frs";

// Discard check.
inline constexpr std::string_view kDiscardQuestion =
    "計算結果がまだ保存されていません。計算結果を破棄してもよろしいですか？";

// calvane-batch: the usage (--help).
inline constexpr std::string_view kBatchUsage =
    "calvane-batch --data FILE --x N --y N --start N (--end N | --to-last-row)\n"
    "              --conditions FILE.ccn [--report FILE] [--details FILE] [--overwrite]\n"
    "              [--skip-blank-rows]\n";
// calvane-batch: refused command lines (followed by the option) and the hint after them.
inline constexpr std::string_view kBatchUnknownOption = "不明なオプションです: ";
inline constexpr std::string_view kBatchRepeatedOption = "オプションが重複しています: ";
inline constexpr std::string_view kBatchMissingValue = "オプションの値がありません: ";
inline constexpr std::string_view kBatchNotWholeNumber = "オプションの値が整数ではありません: ";
inline constexpr std::string_view kBatchMissingOption = "必須のオプションがありません: ";
inline constexpr std::string_view kBatchEndTwice =
    "--end と --to-last-row は同時に指定できません。";
inline constexpr std::string_view kBatchEndMissing =
    "--end か --to-last-row のどちらかを指定してください。";
inline constexpr std::string_view kBatchUsageHint =
    "使い方は calvane-batch --help で表示されます。";

// Version box: two carriage returns, no line feeds.
inline constexpr std::string_view kVersionCaption = "バージョン情報";
inline constexpr std::string_view kVersionText =
    "Calvane  Ver. 1.2.2\r\r最小二乗フィッティングソフトウェア";

// Labels of the main window.
inline constexpr std::string_view kDataFileLabel = "データファイル名：";
inline constexpr std::string_view kConstantsHeader = "定数　　計算結果";
inline constexpr std::string_view kStartTimeLabel = "計算開始時刻：";
inline constexpr std::string_view kR2Label = "相関係数R^2";
inline constexpr std::string_view kEndTimeLabel = "計算終了時刻：";

// Graph axis labels (controls 1026 and 1027).
inline constexpr std::string_view kAxisXSeries = kLeftSideX;  // the left-side box's texts
inline constexpr std::string_view kAxisYSeries = kLeftSideY;
inline constexpr std::string_view kAxisX = "x";
inline constexpr std::string_view kAxisY = "y";

// Toolbar tooltips.
inline constexpr std::string_view kTipOpenData = "データを開く";
inline constexpr std::string_view kTipSaveResults = "計算結果の保存";
inline constexpr std::string_view kTipConditions = kConditionsCaption;
inline constexpr std::string_view kTipRun = "計算実行";

// Main menu bar.
inline constexpr std::string_view kMenuFile = "ファイル(&F)";
inline constexpr std::string_view kMenuOpenData = "データを開く(&D)";
inline constexpr std::string_view kMenuCloseData = "データを閉じる(&C)";
inline constexpr std::string_view kMenuSaveResults = "計算結果を保存する(&S)";
inline constexpr std::string_view kMenuSaveGraphImage = "グラフを画像で保存(&G)";
inline constexpr std::string_view kMenuExit = "終了(&X)";
inline constexpr std::string_view kMenuCalculation = "計算(&C)";
inline constexpr std::string_view kMenuConditions = "計算条件(&C)";
inline constexpr std::string_view kMenuRun = "実行(&E)";
inline constexpr std::string_view kMenuFitDetails = "計算結果の詳細(&R)";
inline constexpr std::string_view kMenuHelp = "ヘルプ(&H)";
inline constexpr std::string_view kMenuHelpFile = kMenuHelp;  // the item has the pop-up's text
inline constexpr std::string_view kMenuVersion = "バージョン情報(&A)";

// Menu bar of the fitting-conditions window.
inline constexpr std::string_view kMenuOpenConditions = "計算条件を開く(&O)";
inline constexpr std::string_view kMenuSaveConditions = "計算条件を保存する(&S)";
inline constexpr std::string_view kMenuDetailedConditions = "詳細条件(&D)";
inline constexpr std::string_view kMenuCloseConditions = "閉じる(&C)";

}  // namespace calvane::text
