#include <tavrel/crystal/Symmetry.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>

#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/SpaceGroupLookup.h>
#include <tavrel/crystal/SpaceGroupTables.h>
#include <tavrel/crystal/SymTableEntry.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Symmetry)

namespace {

constexpr std::array<std::string_view, Symmetry::NumQualifiers> QualifierNames = {
    "Origin-1", "Origin-2", "A-Unique", "B-Unique", "C-Unique", "Hexagonal", "Rhombohedral"};

// Reads a text as a stream does: words are delimited by white space, integers as by extraction.
class TextReader {
public:
    explicit TextReader(std::string_view text) : m_text(text) {}

    std::optional<std::string_view> NextWord()
    {
        while (m_at < m_text.size() && StringUtils::IsSpace(m_text[m_at]))
            ++m_at;
        const std::size_t start = m_at;
        while (m_at < m_text.size() && !StringUtils::IsSpace(m_text[m_at]))
            ++m_at;
        if (m_at == start)
            return std::nullopt;
        return m_text.substr(start, m_at - start);
    }

    std::optional<int> NextInteger()
    {
        std::int32_t value = 0;
        const std::size_t used = StringUtils::ReadInteger(m_text.substr(m_at), value);
        if (used == 0)
            return std::nullopt;
        m_at += used;
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

// The setting row a group text names: its leading number, else its first word as a symbol; 0 when
// it names none.
int FindGroupText(std::string_view group)
{
    if (std::int32_t number = 0; StringUtils::ReadInteger(group, number) != 0)
        return FindSpaceGroupSetting(number, "", 0);
    if (const std::optional<std::string_view> word = TextReader(group).NextWord())
        return FindSpaceGroupSettingByName(*word, "", 0);
    return 0;
}

const std::string& EmptyText()
{
    static const std::string empty;
    return empty;
}

} // namespace

Symmetry::~Symmetry() = default;

std::string_view Symmetry::QualifierName(int qualifier)
{
    return qualifier >= 0 && qualifier < NumQualifiers ? QualifierNames[static_cast<std::size_t>(qualifier)]
                                                       : std::string_view();
}

void Symmetry::SetSymmetryName(SymNameType type, std::string_view name)
{
    if (type >= Name && type <= AltName)
        m_names[type] = name;
}

const std::string& Symmetry::GetSymmetryName(SymNameType type) const
{
    return type >= Name && type <= AltName ? m_names[type] : EmptyText();
}

void Symmetry::GetAllSymmetryNames(std::string (&names)[3]) const
{
    for (int i = 0; i < 3; ++i)
        names[i] = m_names[i];
}

std::string Symmetry::QualifierString(bool withChoice) const
{
    if (withChoice)
        return StringUtils::Format("%s Choice: %d", QualifierName(m_qualifier), m_choice);
    return std::string(QualifierName(m_qualifier));
}

void Symmetry::EncodeQualifiers(std::string_view text)
{
    TextReader reader(text);
    const std::optional<std::string_view> name = reader.NextWord();
    int choice = 1;
    if (name && reader.NextWord())
        choice = reader.NextInteger().value_or(1);
    int qualifier = 0;
    for (int i = 0; i < NumQualifiers; ++i) {
        if (name && *name == QualifierNames[static_cast<std::size_t>(i)])
            qualifier = i;
    }
    SetQualifier(qualifier);
    if (choice > 1)
        m_choice = choice;
}

bool Symmetry::LoadSpaceGroup(int number, std::string_view qualifier, int choice)
{
    return LoadTableEntry(SymTableEntry(number, qualifier, choice));
}

bool Symmetry::LoadSpaceGroup(std::string_view symbol, std::string_view qualifier, int choice)
{
    const std::optional<std::string_view> word = TextReader(symbol).NextWord();
    if (!word)
        return LoadTableEntry(SymTableEntry(std::string_view("P1"), qualifier, choice));
    if (std::int32_t number = 0; StringUtils::ReadInteger(*word, number) != 0)
        return LoadSpaceGroup(number, qualifier, 0);
    return LoadTableEntry(SymTableEntry(symbol, qualifier, choice));
}

bool Symmetry::LoadSpaceGroup(std::string_view group, std::string_view setting)
{
    if (group.empty())
        return false;
    TextReader settingReader(setting);
    const std::optional<std::string_view> qualifierWord = settingReader.NextWord();
    std::optional<int> choice;
    if (qualifierWord && settingReader.NextWord())
        choice = settingReader.NextInteger();
    const std::string_view qualifier = choice ? *qualifierWord : setting;
    if (std::int32_t number = 0; StringUtils::ReadInteger(group, number) != 0)
        return LoadTableEntry(SymTableEntry(number, qualifier, choice.value_or(0)));
    if (const std::optional<std::string_view> word = TextReader(group).NextWord())
        return LoadTableEntry(SymTableEntry(*word, qualifier, choice.value_or(0)));
    return false;
}

bool Symmetry::LoadTableEntry(const SymTableEntry& entry)
{
    if (entry.GetNumber() == 0 || entry.GetOperators().empty())
        return false;
    std::vector<std::unique_ptr<SymmetryOp>> ops;
    ops.reserve(entry.GetOperators().size());
    for (const SymTableEntry::Operator& record : entry.GetOperators()) {
        auto op = std::make_unique<SymmetryOp>();
        // The record acts on column vectors; the operator on row vectors.
        std::array<float, 16> transposed;
        for (std::size_t row = 0; row < 4; ++row) {
            for (std::size_t column = 0; column < 4; ++column)
                transposed[row * 4 + column] = record.matrix[column * 4 + row];
        }
        op->SetMatrix(transposed);
        op->SetOpName(record.text);
        op->m_held = true;
        ops.push_back(std::move(op));
    }
    m_tableNumber = entry.GetNumber();
    m_names[Name] = entry.GetShortName();
    m_names[LongName] = entry.GetLongName();
    m_names[AltName] = entry.GetSchoenfliesName();
    EncodeQualifiers(entry.GetQualifier());
    m_choice = entry.GetChoice();
    m_ops.list = std::move(ops);
    return true;
}

SymmetryOp* Symmetry::GetSymmetryOp(int index) const
{
    if (index < 0 || index >= GetNumSymmetryOps())
        return nullptr;
    return m_ops.list[static_cast<std::size_t>(index)].get();
}

bool Symmetry::AddSymmetryOp(SymmetryOp* op)
{
    if (!op || op->m_held.Get())
        return false;
    m_ops.list.emplace_back(op);
    op->m_held = true;
    return true;
}

bool Symmetry::RemoveSymmetryOp(int index)
{
    if (index < 1 || index >= GetNumSymmetryOps())
        return false;
    m_ops.list.erase(m_ops.list.begin() + index);
    m_symmetryChanged = true;
    return true;
}

bool Symmetry::ReplaceSymmetryOp(int index, const SymmetryOp* op)
{
    if (!op || index < 1 || index >= GetNumSymmetryOps())
        return false;
    *m_ops.list[static_cast<std::size_t>(index)] = *op;
    m_symmetryChanged = true;
    return true;
}

void Symmetry::ClearSymmetryOps()
{
    m_ops.list.clear();
}

std::string Symmetry::InfoText(bool) const
{
    return StringUtils::Format("Table Name: %s %s", m_names[Name], "\r\n") +
           StringUtils::Format("Shoenflies: %s %s", m_names[AltName], "\r\n") +
           StringUtils::Format("Number of Positions %d %s", GetNumSymmetryOps(), "\r\n");
}

std::string Symmetry::OperatorText() const
{
    std::string text;
    for (std::size_t i = 0; i < m_ops.list.size(); ++i)
        text += StringUtils::Format("%-3d %s %s", static_cast<int>(i + 1), m_ops.list[i]->GetOpText(true), "\r\n");
    return text;
}

void Symmetry::CopyStaticData(const Symmetry& other)
{
    m_tableNumber = other.m_tableNumber;
    for (int i = 0; i < 3; ++i)
        m_names[i] = other.m_names[i];
    m_latticeType = other.m_latticeType;
    m_centerType = other.m_centerType;
    m_symmetryChanged = other.m_symmetryChanged;
    m_cell = other.m_cell;
    m_qualifier = other.m_qualifier;
    m_choice = other.m_choice;
}

void Symmetry::CopyOperatorData(const Symmetry& other)
{
    m_ops = other.m_ops;
}

Symmetry::Operators& Symmetry::Operators::operator=(const Operators& other)
{
    if (this == &other)
        return *this;
    std::vector<std::unique_ptr<SymmetryOp>> ops;
    ops.reserve(other.list.size());
    for (const std::unique_ptr<SymmetryOp>& op : other.list) {
        ops.push_back(std::make_unique<SymmetryOp>(*op));
        ops.back()->m_held = true;
    }
    list = std::move(ops);
    return *this;
}

int Symmetry::GetSymmetryIndex(std::vector<std::string>& list, SymType type)
{
    list.clear();
    if (type == SpaceGroups) {
        const std::span<const SpaceGroupNumberEntry> index = SpaceGroupNumberIndex();
        const std::span<const SpaceGroupSetting> rows = SpaceGroupSettingTable();
        for (std::size_t number = 1; number < index.size(); ++number) {
            list.push_back(StringUtils::Format("%-4d %s", static_cast<int>(number),
                                               rows[static_cast<std::size_t>(index[number].firstRow)].shortSymbol));
        }
    } else {
        for (const PlaneGroupEntry& group : PlaneGroupTable())
            list.push_back(StringUtils::Format("%-2d %s", group.number, group.shortSymbol));
    }
    return static_cast<int>(list.size());
}

int Symmetry::GetSymmetryQualifiers(std::string_view group, std::vector<std::string>& list)
{
    const int first = FindGroupText(group);
    if (first == 0)
        return 0;
    const std::span<const SpaceGroupSetting> rows = SpaceGroupSettingTable();
    const int number = rows[static_cast<std::size_t>(first)].number;
    std::size_t count = 0;
    for (std::size_t row = static_cast<std::size_t>(first); row < rows.size() && rows[row].number == number; ++row) {
        std::string text = StringUtils::Format("%s Choice: %d", rows[row].qualifier, rows[row].choice);
        if (count < list.size())
            list[count] = std::move(text);
        else
            list.push_back(std::move(text));
        ++count;
    }
    return static_cast<int>(count);
}

void Symmetry::TakeLoadedOp(std::vector<std::unique_ptr<SymmetryOp>>& ops, SymmetryOp* op, bool owned)
{
    if (!op)
        return;
    ops.push_back(op->m_held.Get() || !owned ? std::make_unique<SymmetryOp>(*op) : std::unique_ptr<SymmetryOp>(op));
    ops.back()->m_held = true;
}

const PropertyTable& Symmetry::Properties()
{
    static const PropertyTable table(
        PropertyList<Symmetry>()
            // The owning cell sets itself again after every read, so the reference read is not kept;
            // in the framework archive it may only refer back to the cell's record around this one.
            .Reference("Symmetry Cell", [](const Symmetry& symmetry) { return symmetry.m_cell; }, [](Symmetry&, Cell*) {})
            .ArchiveWith([](const Symmetry& symmetry, Archive& archive) { archive.WriteObject(symmetry.m_cell); },
                         [](Symmetry&, Archive& archive) { archive.SkipBackReference("a symmetry's cell reference"); })
            .Field<&Symmetry::m_tableNumber>("Symmetry Table Number")
            .Field<&Symmetry::m_qualifier>("Symmetry Qualifier")
            .Field<&Symmetry::m_choice>("Symmetry Choice")
            .Field<&Symmetry::m_latticeType>("Symmetry Lattice Method")
            .Field<&Symmetry::m_centerType>("Symmetry Center Method")
            .Field<&Symmetry::m_symmetryChanged>("Symmetry Symmetry Changed")
            .ArchiveAs<std::int32_t>()
            .Values<Storage::StorageString>(
                "Symmetry Array", [](const Symmetry&) { return std::size_t{3}; },
                [](const Symmetry& symmetry, std::size_t i) { return symmetry.m_names[i]; }, [](Symmetry&, std::size_t) {},
                [](Symmetry& symmetry, std::size_t i, const std::string& name) {
                    if (i < 3)
                        symmetry.m_names[i] = name;
                })
            .ArchiveWith([](const Symmetry& symmetry, Archive& archive) {
                archive << symmetry.m_names[Name] << symmetry.m_names[LongName] << symmetry.m_names[AltName];
            }, [](Symmetry& symmetry, Archive& archive) {
                archive >> symmetry.m_names[Name] >> symmetry.m_names[LongName] >> symmetry.m_names[AltName];
            })
            .References(
                "Symmetry Ops", [](const Symmetry& symmetry) { return symmetry.m_ops.list.size(); },
                [](const Symmetry& symmetry, std::size_t i) {
                    return i < symmetry.m_ops.list.size() ? symmetry.m_ops.list[i].get() : nullptr;
                },
                [](Symmetry& symmetry, std::size_t) { symmetry.ClearSymmetryOps(); },
                [](Symmetry& symmetry, std::size_t, SymmetryOp* op) { TakeLoadedOp(symmetry.m_ops.list, op, true); })
            .ArchiveWith([](const Symmetry& symmetry, Archive& archive) {
                archive.WriteCount(static_cast<std::uint32_t>(symmetry.m_ops.list.size()));
                for (const std::unique_ptr<SymmetryOp>& op : symmetry.m_ops.list)
                    archive.WriteObject(op.get());
            }, [](Symmetry& symmetry, Archive& archive) {
                const std::uint32_t count = archive.ReadCount(2);
                std::vector<std::unique_ptr<SymmetryOp>> ops;
                for (std::uint32_t i = 0; i < count; ++i) {
                    // An operator read before this one (a back-reference) stays with whoever has it:
                    // it is copied.
                    const std::uint32_t lastOIDBefore = GetLastOID();
                    auto* const op = static_cast<SymmetryOp*>(archive.ReadObject(&SymmetryOp::GetThisClass()));
                    TakeLoadedOp(ops, op, op && op->GetOID() > lastOIDBefore);
                }
                symmetry.ClearSymmetryOps();
                symmetry.m_ops.list = std::move(ops);
            }));
    return table;
}

} // namespace Tavrel
