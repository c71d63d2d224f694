#include "toolbox/gui/FileDialogs.h"

#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <vector>

namespace {

struct FilterPair {
    std::string description;
    std::string pattern;
};

std::vector<FilterPair> splitPairs(std::string_view pairs) {
    std::vector<FilterPair> out;
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < pairs.size()) {
        std::size_t bar = pairs.find('|', at);
        if (bar == std::string_view::npos) bar = pairs.size();
        fields.emplace_back(pairs.substr(at, bar - at));
        at = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2)
        out.push_back({fields[i], fields[i + 1]});
    return out;
}

QWidget* dialogParent() {
    QWidget* w = QApplication::activeWindow();
    return w ? w->window() : nullptr;
}

StandardFileReply replyFor(const QString& path, int filterIndex) {
    StandardFileReply reply;
    reply.good = true;
    reply.fileSpec =
        FSSpec::fromPath(QFileInfo(path).absoluteFilePath().toLocal8Bit().toStdString());
    reply.filterIndex = filterIndex;
    return reply;
}

// The extension a put dialog appends to a name typed without one.
QString defaultSuffix(std::span<const FileTypeFilter> filters) {
    if (filters.empty() || !filters[0].pattern) return {};
    QString p = QString::fromLatin1(filters[0].pattern);
    if (filters[0].description && filters[0].description[0] == '`') return {};
    if (p.isEmpty() || p.contains('*')) return {};
    return p.toLower();
}

StandardFileReply runDialog(bool put, const char* prompt, const char* defaultName,
                            std::span<const FileTypeFilter> filters, int filterIndex,
                            const std::string& folder) {
    std::string pairs = BuildFilterPairs(filters);
    const QString start =
        folder.empty() ? QDir::currentPath() : QString::fromLocal8Bit(folder.c_str());
    if (auto answer = GetModalAnswerer().fileDialog) {
        FileDialogRequest request{put,   prompt ? prompt : "", defaultName ? defaultName : "",
                                  pairs, filterIndex,          start.toLocal8Bit().toStdString()};
        FileDialogAnswer a;
        if (answer(request, &a)) {
            if (a.cancel) return {};
            return replyFor(QString::fromLocal8Bit(a.path.c_str()),
                            a.filterIndex >= 0 ? a.filterIndex : filterIndex);
        }
    }

    QFileDialog dialog(dialogParent());
    host::PrepareModalDialog(&dialog);
    // The toolkit's own dialog on every desktop, not one a desktop theme may put in its place:
    // its patterns match without regard to case, and a path typed into its name field,
    // absolute or relative to the folder shown, opens on Return.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList names = HostNameFilters(pairs);
    dialog.setNameFilters(names);
    if (filterIndex >= 0 && filterIndex < names.size()) dialog.selectNameFilter(names[filterIndex]);
    dialog.setDirectory(start);
    if (put) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setWindowTitle(ToHostText(prompt ? prompt : ""));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Save"));
        dialog.setDefaultSuffix(defaultSuffix(filters));
        if (defaultName && *defaultName) dialog.selectFile(QString::fromLocal8Bit(defaultName));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setWindowTitle(QStringLiteral("Open"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return replyFor(dialog.selectedFiles().front(),
                    static_cast<int>(names.indexOf(dialog.selectedNameFilter())));
}

} // namespace

std::string BuildFilterPairs(std::span<const FileTypeFilter> filters) {
    std::string pairs;
    for (const FileTypeFilter& f : filters) {
        std::string_view description = f.description ? f.description : "";
        std::string_view pattern = f.pattern ? f.pattern : "";
        if (!description.empty() && description[0] == '`') {
            pairs.append(description.substr(1)).append("|").append(pattern).append("|");
        } else {
            std::string glob = "*." + std::string(pattern);
            pairs.append(description).append(" (").append(glob).append(")|");
            pairs.append(glob).append("|");
        }
    }
    return pairs;
}

QStringList HostNameFilters(std::string_view pairs) {
    QStringList names;
    for (const FilterPair& p : splitPairs(pairs)) {
        QString label = ToHostText(p.description.c_str()).trimmed();
        // The host reads the patterns from the parentheses, so the shown ones are replaced.
        if (label.endsWith(')') && label.contains('(')) label.truncate(label.lastIndexOf('('));
        QStringList globs;
        for (const QString& g : QString::fromLatin1(p.pattern.c_str()).split(';')) {
            QString glob = g.trimmed();
            if (glob == QLatin1String("*.*")) glob = QStringLiteral("*"); // names without a dot
            if (!glob.isEmpty()) globs << glob;
        }
        names << label.trimmed() + QStringLiteral(" (") + globs.join(' ') + ')';
    }
    return names;
}

StandardFileReply StandardGetFile(std::span<const FileTypeFilter> filters, int filterIndex,
                                  const std::string& folder) {
    return runDialog(false, nullptr, nullptr, filters, filterIndex, folder);
}

StandardFileReply StandardPutFile(const char* prompt, const char* defaultName,
                                  std::span<const FileTypeFilter> filters,
                                  const std::string& folder) {
    return runDialog(true, prompt, defaultName, filters, 0, folder);
}
