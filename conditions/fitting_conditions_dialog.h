#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <array>
#include <functional>
#include <memory>

#include "app/app_state.h"
#include "base/qt_modal_run.h"
#include "conditions/condition_accept.h"
#include "conditions/conditions_host.h"

namespace calvane {

// The fitting-conditions window "計算条件" (FittingCondition): the toolbar (71: open and save a
// condition file), the left-side box (1047), the formula (1048) and its status label (1036),
// the forty constant fields (1049 + 4*row + column), the angle unit (1089 Degree, 1090 Radian),
// reset (1093), OK (1094) and Cancel (1098), each at its client geometry with objectName = its
// id, in the tab order of creation; the separator lines under the toolbar; and the menu bar
// built once by the application, attached while the window lives. The checks run when a field
// loses the focus; the commands go to the ConditionsHost. Run with RunModal. Main thread.
class FittingConditionsDialog : public ModalWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 648;
  static constexpr int kClientHeight = 527;

  // `state` and `menu_bar` outlive the window; the menu bar's actions carry their command ids as
  // objectName (1132, 1133, 1134, 1135, 1129) and 1132 and 1133 their toolbar images. `beep`
  // sounds the default beep (injectable for tests).
  FittingConditionsDialog(AppState& state, std::unique_ptr<ConditionsHost> host, QMenuBar* menu_bar,
                          QWidget* owner, std::function<void()> beep = {});
  ~FittingConditionsDialog() override;

  // What the controls hold now (texts as Shift-JIS bytes), and filling them.
  ConditionDialogValues Values() const;
  void SetValues(const ConditionDialogValues& values);

  // Carries out a command of the menu or the toolbar (1129, 1132..1135).
  void RunCommand(int id);

  QLineEdit* ConstantField(int row, int column) const { return constants_[Index(row, column)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static std::size_t Index(int row, int column) {
    return static_cast<std::size_t>(4 * row + column);
  }
  void CreateControls(QWidget* client);
  void ApplyWorkflowState();
  void ReportFormulaCheck();
  void CheckFormulaSilently();
  void LeftSideChanged(int index);
  bool ValidateField(int row, int column);
  void RefuseField(QLineEdit* field, std::string_view message);
  void Accept();
  void Cancel();

  AppState& state_;
  std::unique_ptr<ConditionsHost> host_;
  QMenuBar* menu_bar_;
  std::function<void()> beep_;
  std::uint8_t saved_rough_estimation_;
  std::uint8_t saved_data_interval_;
  SearchMethod saved_search_method_;
  // The field whose check just failed: until the focus is back in it, leaving other fields (to
  // the message box and back) checks nothing.
  QLineEdit* refused_field_ = nullptr;

  QWidget* client_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QComboBox* left_side_ = nullptr;
  QLineEdit* formula_ = nullptr;
  QLabel* status_ = nullptr;
  std::array<QLineEdit*, 40> constants_{};
  QRadioButton* degree_ = nullptr;
  QRadioButton* radian_ = nullptr;
  QPushButton* reset_ = nullptr;
};

}  // namespace calvane
