// What the dialogs' presenters need of the window that opens them: the program's context, the
// host their operations report to (log, busy state, refresh, the adapter shown), a worker to
// start work on, and the current adapter's connection name. The main window's presenter is the
// dialogs' host.
#pragma once

#include <functional>
#include <string>

#include "ipops/operation_host.h"
#include "ui/app_context.h"

namespace nicops::ui {

class DialogHost : public ipops::OperationHost {
public:
    virtual AppContext& context() const = 0;
    // Starts `task` as the window's workers are started; nobody waits for it.
    virtual void startWorker(std::function<void()> task) = 0;
    // The current adapter's connection name, as the adapter box shows it ("" when none is
    // chosen).
    virtual std::string currentConnectionName() const = 0;
};

}  // namespace nicops::ui
