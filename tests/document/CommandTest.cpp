#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/Command.h>
#include <tavrel/document/CommandDecorator.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/document/UpdateDecorator.h>

using namespace Tavrel;

namespace {

// What every copy of one test command records.
struct Journal {
    std::vector<std::string> calls;
    int runs = 0;
};

// A command whose outcome, hint and answers are set by the test; copies share the journal.
class TinyCommand : public Command {
public:
    TinyCommand(Journal& journal, bool succeeds, int hint = UpdateAll)
        : m_journal(&journal), m_succeeds(succeeds), m_hint(hint)
    {
    }

    std::unique_ptr<Command> Copy() const override { return std::make_unique<TinyCommand>(*this); }
    bool Do(ChemDoc*) override
    {
        ++m_journal->runs;
        m_journal->calls.push_back("Do");
        return m_succeeds;
    }
    std::string GetName() const override { return "Tiny"; }
    int GetUpdateHint() const override { return m_hint; }
    bool IsUndoable() const override { return false; }
    bool Merge(const Command*) override { return true; }
    HowBadly WantsCheckpoint() const override { return static_cast<HowBadly>(2); }
    bool Execute(ChemDoc* doc) override
    {
        m_journal->calls.push_back("Execute");
        return Command::Execute(doc);
    }

private:
    Journal* m_journal;
    bool m_succeeds;
    int m_hint;
};

// Records the hooks around the wrapped command.
class TracingDecorator : public CommandDecorator {
public:
    TracingDecorator(const Command& command, Journal& journal) : CommandDecorator(command), m_journal(&journal) {}
    std::unique_ptr<Command> Copy() const override { return std::make_unique<TracingDecorator>(*this); }
    void BeginCommand(Command& command, ChemDoc*) override { m_journal->calls.push_back("Begin " + command.GetName()); }

protected:
    void EndCommand(Command&, ChemDoc*, bool succeeded) override
    {
        m_journal->calls.push_back(succeeded ? "End ok" : "End failed");
    }

private:
    Journal* m_journal;
};

class NoCopyCommand : public Command {
public:
    std::unique_ptr<Command> Copy() const override { return nullptr; }
    bool Do(ChemDoc*) override { return true; }
    std::string GetName() const override { return "NoCopy"; }
};

std::vector<int> g_hints;

void RecordHint(Event& event)
{
    g_hints.push_back(*static_cast<int*>(event.GetExtraData()));
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachDataModelDLL();
        g_hints.clear();
        doc.GetTreeRoot()->RegisterEvent(TreeRoot::classType, TreeRoot::EventChangeBroadcast, &RecordHint, false,
                                         nullptr, nullptr);
    }

    ChemDoc doc;
    Journal journal;
};

} // namespace

TEST_F(CommandTest, BaseDefaultsAndErrorMessage)
{
    TinyCommand command(journal, true);
    const Command& base = command;
    EXPECT_STREQ(base.GetRuntimeClass()->className, "Command");
    EXPECT_FALSE(base.GetRuntimeClass()->IsSerializable());
    EXPECT_TRUE(base.IsKindOf(&PersistentObject::GetThisClass()));
    EXPECT_FALSE(base.DisplayWaitCursor(&doc));
    EXPECT_TRUE(base.IsSuitable(nullptr));
    EXPECT_EQ(base.GetResultString("x"), "");
    EXPECT_EQ(base.GetErrorMessage(), "");
    EXPECT_EQ(base.GetErrorString("context"), "");

    command.SetErrorMessage("went wrong");
    EXPECT_EQ(command.GetErrorMessage(), "went wrong");
    EXPECT_EQ(command.GetErrorString("anything"), "went wrong");

    // A copy starts clean; assignment keeps the target's own message.
    TinyCommand copy(command);
    EXPECT_EQ(copy.GetErrorMessage(), "");
    copy.SetErrorMessage("mine");
    copy = command;
    EXPECT_EQ(copy.GetErrorMessage(), "mine");

    EXPECT_TRUE(command.Execute(&doc));
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"Execute", "Do"}));
}

TEST_F(CommandTest, DecoratorForwardsSomeQuestionsAndAnswersTheRestItself)
{
    TinyCommand inner(journal, true, 4);
    inner.SetErrorMessage("inner message");
    TracingDecorator decorator(inner, journal);

    EXPECT_EQ(decorator.GetName(), "Tiny");
    EXPECT_TRUE(decorator.Merge(&inner));
    EXPECT_EQ(decorator.WantsCheckpoint(), static_cast<Command::HowBadly>(2));
    // Answered by the decorator, not the wrapped command.
    EXPECT_EQ(decorator.GetUpdateHint(), Command::UpdateAll);
    EXPECT_TRUE(decorator.IsUndoable());
    EXPECT_EQ(decorator.GetErrorMessage(), "");
}

TEST_F(CommandTest, DecoratorRunsItsOwnCopyBetweenTheHooks)
{
    TracingDecorator succeeding(TinyCommand(journal, true), journal);
    EXPECT_TRUE(succeeding.Do(&doc));
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"Begin Tiny", "Do", "End ok"}));

    journal.calls.clear();
    TracingDecorator failing(TinyCommand(journal, false), journal);
    EXPECT_FALSE(failing.Do(nullptr));
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"Begin Tiny", "Do", "End failed"}));

    // Execute goes straight to the wrapped command, without hooks.
    journal.calls.clear();
    EXPECT_TRUE(succeeding.Execute(&doc));
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"Execute", "Do"}));
}

TEST_F(CommandTest, DecoratorRefusesACommandThatCannotCopyItself)
{
    EXPECT_THROW(UpdateDecorator{NoCopyCommand()}, std::invalid_argument);
}

TEST_F(CommandTest, UpdateDecoratorBroadcastsTheWrappedHintOnlyOnSuccess)
{
    UpdateDecorator succeeding(TinyCommand(journal, true, 4));
    EXPECT_TRUE(succeeding.Do(&doc));
    EXPECT_EQ(g_hints, (std::vector<int>{4}));

    UpdateDecorator failing(TinyCommand(journal, false, 4));
    EXPECT_FALSE(failing.Do(&doc));
    UpdateDecorator silent(TinyCommand(journal, true, Command::UpdateNone));
    EXPECT_TRUE(silent.Do(&doc));
    EXPECT_TRUE(succeeding.Do(nullptr));
    EXPECT_TRUE(succeeding.Execute(&doc));
    EXPECT_EQ(g_hints, (std::vector<int>{4}));
    EXPECT_EQ(journal.runs, 5);
}

TEST_F(CommandTest, UpdateDecoratorCopiesOwnTheirWrappedCommand)
{
    auto original = std::make_unique<UpdateDecorator>(TinyCommand(journal, true, 8));
    const UpdateDecorator copied(*original);
    const std::unique_ptr<Command> cloned = original->Copy();
    UpdateDecorator assigned(TinyCommand(journal, false));
    assigned = *original;
    original.reset();

    UpdateDecorator& self = assigned;
    assigned = self;

    EXPECT_EQ(copied.GetName(), "Tiny");
    EXPECT_TRUE(cloned->Do(&doc));
    EXPECT_TRUE(assigned.Do(&doc));
    EXPECT_EQ(g_hints, (std::vector<int>{8, 8}));
}
