#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

class QAbstractButton;

// The one receiver of buttons wired to a callback: each button gets a fresh identifier under
// which its callback waits, and the callback runs at most once.
class ClosureTarget : public QObject {
    Q_OBJECT
  public:
    static ClosureTarget& shared();

    void wire(QAbstractButton* button, std::function<void()> closure);

    // The property of a wired button that holds its identifier.
    static constexpr const char* identifierProperty = "closureIdentifier";

  private:
    ClosureTarget() = default;
    void invoke();

    std::map<QString, std::function<void()>> closures;
};
