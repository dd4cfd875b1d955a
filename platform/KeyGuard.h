#pragma once

#include "platform/KeyMappingTool.h"
#include "platform/KeyboardDesktop.h"

#include <sys/types.h>
#include <QString>
#include <memory>

namespace platform {

// The program's own guardian executable, installed next to it.
QString guardianNextToProgram();

// The mapping tool with a guardian process beside the program: a killed or crashed program
// cannot remove the mapping, and Super must not stay Control with nothing left to undo it.
// The guardian learns the mapping's state over a socket and the program's end from the
// socket's end of file, which no way of dying can skip.
class GuardedMappingTool : public KeyMappingTool {
  public:
    GuardedMappingTool(KeyboardDesktop desktop, std::shared_ptr<KeyMappingTool> tool,
                       QString guardianProgram = guardianNextToProgram());
    ~GuardedMappingTool() override;
    GuardedMappingTool(const GuardedMappingTool&) = delete;
    GuardedMappingTool& operator=(const GuardedMappingTool&) = delete;

    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override { return tool->isMappingApplied(); }
    std::optional<QString> unavailableReason() const override { return tool->unavailableReason(); }

  private:
    void tell(bool applied);
    bool startGuardian();
    void letGuardianGo();

    KeyboardDesktop desktop;
    std::shared_ptr<KeyMappingTool> tool;
    QString guardianProgram;
    int channel = -1;
    pid_t guardian = -1;
};

// The guardian's side: follows what the program (its parent) tells over this descriptor until
// the program ends, then removes our option from the desktop if the mapping was on and no
// instance of ours is left to want it.
void guardKeyMapping(int programEnd, pid_t program, KeyboardDesktop desktop);

}  // namespace platform
