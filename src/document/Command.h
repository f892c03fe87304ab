// Command: one host operation on a document, run by ChemDoc::ApplyCommand, with overridable defaults.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class ChemDoc;

class Command : public PersistentObject {
public:
    // Hints broadcast from the document's root after a command ran (TreeRoot::BroadcastChange).
    // Hosts may return other values; UpdateNone asks decorators to broadcast nothing.
    enum UpdateHint : std::int32_t { UpdateAll = 1, UpdateNone = 16 };
    // How much a command wants the host to take a checkpoint of the document before it runs. Values
    // above NotNeeded are the host's.
    enum class HowBadly : std::int32_t { NotNeeded = 0 };

    ~Command() override = default;

    // Run-time class "Command": never archived, not creatable.
    static const RuntimeClass& GetThisClass() noexcept;
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }

    // False.
    virtual bool DisplayWaitCursor(ChemDoc* doc) const;
    // Runs Do and returns its result.
    virtual bool Execute(ChemDoc* doc);
    // The message stored by SetErrorMessage; empty on a new command.
    virtual std::string GetErrorMessage() const;
    // The error message; the context is ignored.
    virtual std::string GetErrorString(std::string_view context) const;
    // Empty.
    virtual std::string GetResultString(std::string_view context) const;
    // UpdateAll.
    virtual int GetUpdateHint() const;
    // True.
    virtual bool IsSuitable(ChemDoc* doc) const;
    // True.
    virtual bool IsUndoable() const;
    // Folds the other command into this one; false (nothing merged).
    virtual bool Merge(const Command* other);
    virtual void SetErrorMessage(std::string message);
    // NotNeeded.
    virtual HowBadly WantsCheckpoint() const;

    // A new command equal to this one.
    virtual std::unique_ptr<Command> Copy() const = 0;
    // Performs the operation on the document; true on success.
    virtual bool Do(ChemDoc* doc) = 0;
    virtual std::string GetName() const = 0;

protected:
    Command() = default;
    // A copy starts with an empty error message; assignment leaves the error message alone.
    Command(const Command& other);
    Command& operator=(const Command& other);

private:
    std::string m_errorMessage;
};

} // namespace Tavrel
