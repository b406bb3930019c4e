#include "base/qt_file_chooser.h"

#include <QDir>

namespace calvane {

QStringList NameFilters(std::span<const FileFilter> filters) {
  QStringList list;
  for (const FileFilter& filter : filters) {
    QString label =
        QString::fromUtf8(filter.label.data(), static_cast<qsizetype>(filter.label.size()));
    const QString pattern =
        QString::fromUtf8(filter.pattern.data(), static_cast<qsizetype>(filter.pattern.size()));
    if (!label.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
      label += QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    list.push_back(label);
  }
  return list;
}

std::optional<std::string> QtFileChooser::ChooseOpen(const FileDialogRequest& request) {
  return Choose(request, false);
}

std::optional<std::string> QtFileChooser::ChooseSave(const FileDialogRequest& request) {
  return Choose(request, true);
}

std::optional<std::string> QtFileChooser::Choose(const FileDialogRequest& request, bool save) {
  QFileDialog dialog(owners_.Owner(request.owner));
  dialog.setWindowTitle(
      QString::fromUtf8(request.title.data(), static_cast<qsizetype>(request.title.size())));
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  const QStringList filters = NameFilters(request.filters);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
  const QString suffix = QString::fromUtf8(
      request.default_extension.data(), static_cast<qsizetype>(request.default_extension.size()));
  dialog.setDefaultSuffix(suffix);
  // The extension of the filter chosen, for a name typed without one.
  auto filter_extension = [&request, &filters](const QString& chosen) {
    const qsizetype at = filters.indexOf(chosen);
    if (at < 0) return std::string_view(request.default_extension);
    return FilterExtension(request.filters[static_cast<std::size_t>(at)]);
  };
  if (save && request.extension_follows_filter) {
    auto follow = [&dialog, &filter_extension](const QString& chosen) {
      const std::string_view ext = filter_extension(chosen);
      dialog.setDefaultSuffix(QString::fromUtf8(ext.data(), static_cast<qsizetype>(ext.size())));
    };
    if (!filters.isEmpty()) follow(filters.front());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
  }
  if (!request.initial_folder.empty()) {
    dialog.setDirectory(QString::fromStdString(request.initial_folder));
  }
  const int result = runner_ ? runner_(dialog) : dialog.exec();
  if (result != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  std::string path = QDir::toNativeSeparators(chosen.front()).toStdString();
  if (save) {
    path = WithDefaultExtension(std::move(path), request.extension_follows_filter
                                                     ? filter_extension(dialog.selectedNameFilter())
                                                     : request.default_extension);
  }
  return path;
}

}  // namespace calvane
