// UpdateDecorator: runs a command and broadcasts its update hint from the document's root on success.
#pragma once

#include <memory>

#include <tavrel/document/CommandDecorator.h>

namespace Tavrel {

class UpdateDecorator : public CommandDecorator {
public:
    // Wraps command.Copy().
    explicit UpdateDecorator(const Command& command);
    UpdateDecorator(const UpdateDecorator& other);
    UpdateDecorator& operator=(const UpdateDecorator& other);
    ~UpdateDecorator() override;

    // A new UpdateDecorator wrapping a Copy of the wrapped command.
    std::unique_ptr<Command> Copy() const override;

protected:
    // When the command succeeded on a document that has a root, the root broadcasts the command's
    // GetUpdateHint, unless that is UpdateNone.
    void EndCommand(Command& command, ChemDoc* doc, bool succeeded) override;
};

} // namespace Tavrel
