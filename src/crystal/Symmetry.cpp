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
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Symmetry, ClassKind::Creatable)

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
    if (std::int32_t number = 0; StringUtils::StringToInteger(group, number))
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

Symmetry::Symmetry() = default;

Symmetry::Symmetry(const Symmetry& other) : Base(other)
{
    CopyStaticData(other);
}

Symmetry& Symmetry::operator=(const Symmetry& other)
{
    if (this != &other) {
        CopyStaticData(other);
        CopyOperatorData(other);
    }
    return *this;
}

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
    if (std::int32_t number = 0; StringUtils::StringToInteger(*word, number))
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
    if (std::int32_t number = 0; StringUtils::StringToInteger(group, number))
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
    m_ops = std::move(ops);
    return true;
}

SymmetryOp* Symmetry::GetSymmetryOp(int index) const
{
    if (index < 0 || index >= GetNumSymmetryOps())
        return nullptr;
    return m_ops[static_cast<std::size_t>(index)].get();
}

bool Symmetry::AddSymmetryOp(SymmetryOp* op)
{
    if (!op || op->m_held)
        return false;
    m_ops.emplace_back(op);
    op->m_held = true;
    return true;
}

bool Symmetry::RemoveSymmetryOp(int index)
{
    if (index < 1 || index >= GetNumSymmetryOps())
        return false;
    m_ops.erase(m_ops.begin() + index);
    m_symmetryChanged = true;
    return true;
}

bool Symmetry::ReplaceSymmetryOp(int index, const SymmetryOp* op)
{
    if (!op || index < 1 || index >= GetNumSymmetryOps())
        return false;
    *m_ops[static_cast<std::size_t>(index)] = *op;
    m_symmetryChanged = true;
    return true;
}

void Symmetry::ClearSymmetryOps()
{
    m_ops.clear();
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
    for (std::size_t i = 0; i < m_ops.size(); ++i)
        text += StringUtils::Format("%-3d %s %s", static_cast<int>(i + 1), m_ops[i]->GetOpText(true), "\r\n");
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
    std::vector<std::unique_ptr<SymmetryOp>> ops;
    ops.reserve(other.m_ops.size());
    for (const std::unique_ptr<SymmetryOp>& op : other.m_ops) {
        ops.push_back(std::make_unique<SymmetryOp>(*op));
        ops.back()->m_held = true;
    }
    m_ops = std::move(ops);
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
    ops.push_back(op->m_held || !owned ? std::make_unique<SymmetryOp>(*op) : std::unique_ptr<SymmetryOp>(op));
    ops.back()->m_held = true;
}

void Symmetry::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass pass(archive, *this);
    // The owning cell sets itself again after every pass, so the reference read back is not kept.
    Cell* cell = m_cell;
    pass.Object("Symmetry Cell", cell);
    pass.Value<Storage::StorageInt>("Symmetry Table Number", m_tableNumber);
    pass.Value<Storage::StorageInt>("Symmetry Qualifier", m_qualifier);
    pass.Value<Storage::StorageInt>("Symmetry Choice", m_choice);
    pass.Value<Storage::StorageInt>("Symmetry Lattice Method", m_latticeType);
    pass.Value<Storage::StorageInt>("Symmetry Center Method", m_centerType);
    pass.Value<Storage::StorageBool>("Symmetry Symmetry Changed", m_symmetryChanged);
    pass.Array<Storage::StorageString>(
        "Symmetry Array", [] { return std::size_t{3}; }, [this](std::size_t i) { return m_names[i]; },
        [](std::size_t) {},
        [this](std::size_t i, const std::string& name) {
            if (i < 3)
                m_names[i] = name;
        });
    pass.Array<Storage::StorageObject>(
        "Symmetry Ops", [this] { return m_ops.size(); },
        [this](std::size_t i) { return i < m_ops.size() ? m_ops[i].get() : nullptr; },
        [this](std::size_t) { ClearSymmetryOps(); }, [this](std::size_t, SymmetryOp* op) { TakeLoadedOp(m_ops, op, true); });
}

void Symmetry::Serialize(Archive& archive)
{
    Base::Serialize(archive);
    if (archive.IsStoring()) {
        archive.WriteObject(m_cell);
        archive << std::int32_t{m_tableNumber} << std::int32_t{m_qualifier} << std::int32_t{m_choice}
                << std::int32_t{m_latticeType} << std::int32_t{m_centerType} << std::int32_t{m_symmetryChanged ? 1 : 0};
        archive << m_names[Name] << m_names[LongName] << m_names[AltName];
        archive.WriteCount(static_cast<std::uint32_t>(m_ops.size()));
        for (const std::unique_ptr<SymmetryOp>& op : m_ops)
            archive.WriteObject(op.get());
        return;
    }
    // The owning cell refers back to its record around this one; a new object there would have no owner.
    archive.SkipBackReference("a symmetry's cell reference");
    std::int32_t values[6] = {};
    for (std::int32_t& value : values)
        archive >> value;
    std::string names[3];
    archive >> names[0] >> names[1] >> names[2];
    const std::uint32_t count = archive.ReadCount(2);
    std::vector<std::unique_ptr<SymmetryOp>> ops;
    for (std::uint32_t i = 0; i < count; ++i) {
        // An operator read before this one (a back-reference) stays with whoever has it: it is copied.
        const std::uint32_t lastOIDBefore = GetLastOID();
        auto* const op = static_cast<SymmetryOp*>(archive.ReadObject(&SymmetryOp::GetThisClass()));
        TakeLoadedOp(ops, op, op && op->GetOID() > lastOIDBefore);
    }
    m_tableNumber = values[0];
    m_qualifier = values[1];
    m_choice = values[2];
    m_latticeType = values[3];
    m_centerType = values[4];
    m_symmetryChanged = values[5] != 0;
    for (int i = 0; i < 3; ++i)
        m_names[i] = std::move(names[i]);
    m_ops = std::move(ops);
}

} // namespace Tavrel
