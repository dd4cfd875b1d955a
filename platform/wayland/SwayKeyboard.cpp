#include "platform/wayland/SwayKeyboard.h"

#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace platform {

namespace {

const QString keyboardType = QStringLiteral("type:keyboard");

QString unquoted(QString word) {
    if (word.size() >= 2 &&
        (word.front() == QLatin1Char('"') || word.front() == QLatin1Char('\'')) &&
        word.back() == word.front()) {
        word = word.mid(1, word.size() - 2);
    }
    return word;
}

// Words of one line, quotes kept together.
QStringList words(const QString& line) {
    static const QRegularExpression word(QStringLiteral(R"("[^"]*"|'[^']*'|[^\s]+)"));
    QStringList found;
    for (auto match = word.globalMatch(line); match.hasNext();) {
        found << match.next().captured();
    }
    return found;
}

}  // namespace

namespace {

// The files an include line names, expanded as sway expands them: its own variables first,
// the longest name first, then as a shell word, with a leading ~, environment variables and a
// wildcard in the file name. A relative path is taken from the including file's folder.
QStringList includedFiles(QString path, const QString& folder,
                          const std::map<QString, QString>& variables) {
    std::vector<std::pair<QString, QString>> longestFirst(variables.begin(), variables.end());
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [name, value] : longestFirst) {
        path.replace(name, value);
    }
    static const QRegularExpression environment(
        QStringLiteral(R"(\$(?:\{([A-Za-z_][A-Za-z0-9_]*)\}|([A-Za-z_][A-Za-z0-9_]*)))"));
    for (auto match = environment.match(path); match.hasMatch();) {
        const QString value =
            qEnvironmentVariable((match.captured(1) + match.captured(2)).toUtf8().constData());
        path.replace(match.capturedStart(), match.capturedLength(), value);
        match = environment.match(path, match.capturedStart() + value.size());
    }
    if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/"))) {
        path = QDir::homePath() + path.mid(1);
    }
    const QFileInfo pattern(QDir(folder), path);
    const QDir directory = pattern.dir();
    QStringList files;
    for (const QString& name : directory.entryList({pattern.fileName()}, QDir::Files, QDir::Name)) {
        files << directory.filePath(name);
    }
    return files;
}

void collectKeyboardOptions(const QString& config, const QString& folder, int depth,
                            std::map<QString, QStringList>& configured,
                            std::map<QString, QString>& variables) {
    QString block;
    for (QString line : config.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        QStringList parts = words(line);
        if (!block.isEmpty()) {
            if (parts.first() == QStringLiteral("}")) {
                block.clear();
            } else if (parts.size() >= 2 && parts[0] == QStringLiteral("xkb_options")) {
                configured[block] = splitXkbOptions(unquoted(parts[1]));
            }
            continue;
        }
        if (parts.size() >= 3 && parts[0] == QStringLiteral("set") &&
            parts[1].startsWith(QLatin1Char('$'))) {
            variables[parts[1]] = unquoted(parts.mid(2).join(QLatin1Char(' ')));
        } else if (parts.size() == 2 && parts[0] == QStringLiteral("include") && depth < 4) {
            for (const QString& file : includedFiles(unquoted(parts[1]), folder, variables)) {
                QFile included(file);
                if (included.open(QIODevice::ReadOnly)) {
                    collectKeyboardOptions(QString::fromUtf8(included.readAll()),
                                           QFileInfo(file).absolutePath(), depth + 1, configured,
                                           variables);
                }
            }
        } else if (parts.size() >= 3 && parts[0] == QStringLiteral("input")) {
            const QString identifier = unquoted(parts[1]);
            if (parts[2] == QStringLiteral("{")) {
                block = identifier;
            } else if (parts.size() >= 4 && parts[2] == QStringLiteral("xkb_options")) {
                configured[identifier] = splitXkbOptions(unquoted(parts[3]));
            }
        }
    }
}

}  // namespace

std::map<QString, QStringList> configuredKeyboardOptions(const QString& config,
                                                         const QString& folder) {
    std::map<QString, QStringList> configured;
    std::map<QString, QString> variables;
    collectKeyboardOptions(config, folder, 0, configured, variables);
    return configured;
}

QString swayConfigFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/sway");
}

QStringList keyboardOptionCommands(const std::map<QString, QStringList>& configured,
                                   const QStringList& sessionDefaults, bool enabled) {
    // The keyboard type falls back to what every input gets, then to the session's default.
    std::map<QString, QStringList> targets;
    if (const auto own = configured.find(keyboardType); own != configured.end()) {
        targets[keyboardType] = own->second;
    } else if (const auto all = configured.find(QStringLiteral("*")); all != configured.end()) {
        targets[keyboardType] = all->second;
    } else {
        targets[keyboardType] = sessionDefaults;
    }
    for (const auto& [identifier, options] : configured) {
        if (identifier != QStringLiteral("*") && !identifier.startsWith(QStringLiteral("type:"))) {
            targets[identifier] = options;
        }
    }
    QStringList commands;
    for (const auto& [identifier, options] : targets) {
        commands << QStringLiteral("input %1 xkb_options %2")
                        .arg(swayQuoted(identifier),
                             swayQuoted(withOurOption(options, enabled).join(QLatin1Char(','))));
    }
    return commands;
}

bool SwayMappingTool::applyMapping(bool enabled) {
    SwayIpc sway;
    const std::optional<QString> config = sway.config();
    // Without the configuration the user's options are unknown, and setting ours alone would
    // drop them.
    if (!config) {
        return false;
    }
    const QStringList commands = keyboardOptionCommands(
        configuredKeyboardOptions(*config, swayConfigFolder()),
        splitXkbOptions(qEnvironmentVariable("XKB_DEFAULT_OPTIONS")), enabled);
    bool done = true;
    for (const QString& command : commands) {
        done = sway.runCommand(command) && done;
    }
    reloadWatch.reset();
    if (done && enabled) {
        reloadWatch = std::make_unique<SwayIpc>();
        if (!reloadWatch->watchReloads()) {
            reloadWatch.reset();
        }
    }
    return done;
}

bool SwayMappingTool::isMappingApplied() {
    return reloadWatch && !reloadWatch->reloadedSinceWatching();
}

std::pair<QString, QString> swayBindingCommands(const HotKey& key, const QString& command) {
    const QString combination = QStringLiteral("Ctrl+") + QString::number(key.keyCode);
    return {QStringLiteral("bindcode --no-repeat %1 exec %2").arg(combination, swayQuoted(command)),
            QStringLiteral("unbindcode ") + combination};
}

std::shared_ptr<HotKeys> swayHotKeys() {
    return std::make_shared<CommandBindings>(
        [](const HotKey& key) {
            return SwayIpc().runCommand(
                swayBindingCommands(key, commandEntryLine(key.commandArgument)).first);
        },
        [](const HotKey& key) {
            return SwayIpc().runCommand(
                swayBindingCommands(key, commandEntryLine(key.commandArgument)).second);
        });
}

}  // namespace platform
