#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <array>

#include "base/qt_modal_run.h"
#include "conditions/condition_record.h"

namespace calvane {

// The detailed-conditions window "詳細条件" (FittingCondition2): the check box 1100 (checked:
// rough estimation off), the interval field 1101 (digits only, normalised to 1..100 when it
// loses the focus), the group "探索方法" 1104 with one radio button per search method (1105
// lattice search, 1106 lattice search finished by LM, 1107 LM only), OK 1102 storing the three
// values into `record`, Cancel 1103 storing nothing.
// Every control at its client geometry, objectName = its id. Run with RunModal over the
// fitting-conditions dialog. Main thread.
class DetailedConditionsDialog : public ModalWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 257;
  static constexpr int kClientHeight = 281;

  DetailedConditionsDialog(ConditionRecord& record, QWidget* owner);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Accept();

  ConditionRecord& record_;
  QCheckBox* no_rough_estimation_ = nullptr;
  QLineEdit* interval_ = nullptr;
  std::array<QRadioButton*, 3> methods_{};  // by SearchMethod
};

}  // namespace calvane
