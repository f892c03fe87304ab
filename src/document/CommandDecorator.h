// CommandDecorator: a command that owns a copy of another and runs it between two hooks.
#pragma once

#include <memory>
#include <string>

#include <tavrel/document/Command.h>

namespace Tavrel {

// Execute, Merge, WantsCheckpoint and GetName go to the wrapped command; Do runs the wrapped
// command's Do between BeginCommand and EndCommand. Every other operation (update hint, undoable,
// suitable, error and result texts, wait cursor) is answered by the decorator itself. Copy stays
// for the concrete decorator to give.
class CommandDecorator : public Command {
public:
    ~CommandDecorator() override;

    bool Execute(ChemDoc* doc) override;
    bool Merge(const Command* other) override;
    HowBadly WantsCheckpoint() const override;
    bool Do(ChemDoc* doc) override;
    std::string GetName() const override;

    // Called before the wrapped command's Do; does nothing here.
    virtual void BeginCommand(Command& command, ChemDoc* doc);

protected:
    // Wraps command.Copy(); throws std::invalid_argument when that gives no command.
    explicit CommandDecorator(const Command& command);
    // Wraps a Copy of the other decorator's wrapped command.
    CommandDecorator(const CommandDecorator& other);
    // Wraps a Copy of the other's wrapped command, then deletes the old one; nothing on self-assignment.
    CommandDecorator& operator=(const CommandDecorator& other);

    // Called after the wrapped command's Do with its result; does nothing here.
    virtual void EndCommand(Command& command, ChemDoc* doc, bool succeeded);

private:
    std::unique_ptr<Command> m_command;
};

} // namespace Tavrel
