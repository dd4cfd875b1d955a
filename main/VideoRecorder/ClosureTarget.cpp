#include "main/VideoRecorder/ClosureTarget.h"

#include <QAbstractButton>
#include <QUuid>

ClosureTarget& ClosureTarget::shared() {
    static ClosureTarget* const target = new ClosureTarget;
    return *target;
}

void ClosureTarget::wire(QAbstractButton* button, std::function<void()> closure) {
    const QString identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    button->setProperty(identifierProperty, identifier);
    closures[identifier] = std::move(closure);
    connect(button, &QAbstractButton::clicked, this, &ClosureTarget::invoke);
}

void ClosureTarget::invoke() {
    const QString identifier =
        sender() != nullptr ? sender()->property(identifierProperty).toString() : QString();
    if (identifier.isEmpty()) {
        return;
    }
    auto found = closures.find(identifier);
    if (found == closures.end()) {
        return;
    }
    std::function<void()> closure = std::move(found->second);
    closures.erase(found);
    if (closure) {
        closure();
    }
}
