#include <tavrel/conformers/Conformation.h>

#include <stdexcept>
#include <unordered_set>
#include <utility>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/conformers/ConformationReference.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Conformation)

namespace {

// Records of this object schema and later hold occupancies and isotropic displacements.
constexpr std::uint32_t firstDisplacementSchema = 9;
// Bytes of one point in the framework archive.
constexpr std::size_t pointBytes = 12;

class ConformationAnswers final : public ConformationQueries {
public:
    bool Is2DConformation(const TreeNode& node) const override
    {
        return ::Tavrel::IsA<Conformation>(&node) && static_cast<const Conformation&>(node).Is2D();
    }
};

// Sets the global event switch for a scope and gives back the state it found.
class EventSwitch {
public:
    explicit EventSwitch(bool on) : m_previous(Base::GetEventNotify()) { Base::SetEventNotify(on); }
    ~EventSwitch() { Base::SetEventNotify(m_previous); }
    EventSwitch(const EventSwitch&) = delete;
    EventSwitch& operator=(const EventSwitch&) = delete;

private:
    bool m_previous;
};

template <class T>
T ValueAt(const std::vector<T>& values, int index, T fallback)
{
    return index >= 0 && static_cast<std::size_t>(index) < values.size() ? values[static_cast<std::size_t>(index)]
                                                                          : fallback;
}

template <class T, class V>
void SetValueAt(std::vector<T>& values, int index, V value)
{
    if (index >= 0 && static_cast<std::size_t>(index) < values.size())
        values[static_cast<std::size_t>(index)] = static_cast<T>(value);
}

} // namespace

Conformation::Conformation(Object* reference, bool twoD) : Object(reference), m_twoD(twoD)
{
    const ConstructionScope construction(*this);
    SetDisplayStyle(1);
    m_record.Get() = ConformationReference::Acquire(reference, this);
    if (m_record.Get())
        ApplyReferenceToConformation();
}

Conformation::Conformation(Object* reference, bool twoD, const Values& values) : Object(reference), m_twoD(twoD)
{
    const ConstructionScope construction(*this);
    SetDisplayStyle(1);
    m_record.Get() = ConformationReference::Acquire(reference, this);
    if (!m_record.Get())
        return;
    const auto count = static_cast<std::size_t>(GetAtomCount());
    if (values.isotropic.size() == count && values.occupancy.size() == count && values.positions.size() == count) {
        m_isotropic = values.isotropic;
        m_occupancy = values.occupancy;
        m_positions = values.positions;
    } else {
        ApplyReferenceToConformation();
    }
}

Conformation::~Conformation()
{
    ConformationReference::Release(m_record.Get(), this);
}

Conformation& Conformation::operator=(const Conformation& other)
{
    if (this == &other || !m_record.Get() || m_record.Get() != other.m_record.Get())
        return *this;
    m_isotropic = other.m_isotropic;
    m_occupancy = other.m_occupancy;
    m_positions = other.m_positions;
    m_useColor.Get() = other.m_useColor.Get();
    m_useColorScheme.Get() = other.m_useColorScheme.Get();
    m_useDisplayStyle.Get() = other.m_useDisplayStyle.Get();
    m_twoD = other.m_twoD;
    return *this;
}

const PropertyTable& Conformation::Properties()
{
    using Self = Conformation;
    static const PropertyTable table(
        PropertyList<Self>()
            .Values<Storage::StorageArchive>(
                "Conformation Points", [](const Self& self) { return self.m_positions.size(); },
                [](const Self& self, std::size_t index) {
                    return index < self.m_positions.size() ? self.m_positions[index] : Point3d();
                },
                [](Self& self, std::size_t count) { self.m_positions.resize(count); },
                [](Self& self, std::size_t index, const Point3d& point) {
                    if (index < self.m_positions.size())
                        self.m_positions[index] = point;
                })
            .StreamOnly()
            .Reference(
                "Conformation Reference", [](const Self& self) { return self.GetReference(); },
                [](Self& self, Object* reference) { self.m_storedReference = reference ? reference->GetOID() : 0; })
            .StreamOnly()
            .Value<Storage::StorageBool>(
                "Conformation Use Color", [](const Self& self) { return self.m_useColor.Get(); },
                [](Self& self, bool use) { self.m_useColor = use; })
            .StreamOnly()
            .NotCopied()
            .Value<Storage::StorageBool>(
                "Conformation Use Color Scheme", [](const Self& self) { return self.m_useColorScheme.Get(); },
                [](Self& self, bool use) { self.m_useColorScheme = use; })
            .StreamOnly()
            .NotCopied()
            .Value<Storage::StorageBool>(
                "Conformation Use Display Style", [](const Self& self) { return self.m_useDisplayStyle.Get(); },
                [](Self& self, bool use) { self.m_useDisplayStyle = use; })
            .StreamOnly()
            .NotCopied()
            .Values<Storage::StorageDouble>(
                "Conformation Isotropic Displacements", [](const Self& self) { return self.m_isotropic.size(); },
                [](const Self& self, std::size_t index) { return static_cast<double>(self.m_isotropic[index]); },
                [](Self& self, std::size_t count) { self.m_isotropic.resize(count, 0.0f); },
                [](Self& self, std::size_t index, double value) {
                    SetValueAt(self.m_isotropic, static_cast<int>(index), value);
                })
            .StreamOnly()
            .Values<Storage::StorageDouble>(
                "Conformation Occupancies", [](const Self& self) { return self.m_occupancy.size(); },
                [](const Self& self, std::size_t index) { return static_cast<double>(self.m_occupancy[index]); },
                [](Self& self, std::size_t count) { self.m_occupancy.resize(count, 1.0f); },
                [](Self& self, std::size_t index, double value) {
                    SetValueAt(self.m_occupancy, static_cast<int>(index), value);
                })
            .StreamOnly()
            .Field<Storage::StorageBool, &Self::m_twoD>("Conf 2d")
            .StreamOnly()
            .AfterRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                if (!stream || !archive.IsLoading())
                    return;
                self.PostProcess(stream->GetObjectSchema());
                stream->FinishObject(&self);
            })
            .ArchiveRecord([](Self& self, Archive& archive) { self.SerializeRecord(archive); }));
    return table;
}

void Conformation::PostProcess(std::uint32_t schema)
{
    // The record is taken once the 2-D flag is known: a new record is 2-D as its first user is.
    Object* reference = Object::GetObjectA(std::exchange(m_storedReference, 0));
    if (!reference && !m_record.Get())
        reference = GetParent();
    if (reference && reference != GetReference()) {
        ConformationReference::Release(m_record.Get(), this);
        m_record.Get() = ConformationReference::Acquire(reference, this);
    }
    if (schema < firstDisplacementSchema) {
        m_isotropic.assign(m_positions.size(), 0.0f);
        m_occupancy.assign(m_positions.size(), 1.0f);
    }
}

// Values stored past the reference's atoms can never reach an atom; the Conformation keeps the
// ones it can apply, so that a copy (a save's among them) takes it along.
void Conformation::FinishLoading(std::uint32_t schema)
{
    Object::FinishLoading(schema);
    DropValuesPastReference();
}

void Conformation::DropValuesPastReference()
{
    Object* const reference = GetReference();
    if (!reference)
        return;
    const auto atoms = static_cast<std::size_t>(ConformationReference::CountAtoms(*reference));
    for (auto* values : {&m_isotropic, &m_occupancy}) {
        if (values->size() > atoms)
            values->resize(atoms);
    }
    if (m_positions.size() > atoms)
        m_positions.resize(atoms);
}

void Conformation::SerializeRecord(Archive& archive)
{
    Object::Serialize(archive);
    if (archive.IsStoring()) {
        archive << static_cast<std::int32_t>(m_positions.size());
        for (const Point3d& point : m_positions)
            archive << point;
        return;
    }
    std::int32_t count = 0;
    archive >> count;
    if (count < 0 || static_cast<std::size_t>(count) > archive.GetRemaining() / pointBytes)
        archive.Refuse(ArchiveException::endOfFile, "the conformation's point count exceeds the input");
    Point3d::Array positions(static_cast<std::size_t>(count));
    for (Point3d& point : positions)
        archive >> point;
    m_positions = std::move(positions);
    m_isotropic.assign(m_positions.size(), 0.0f);
    m_occupancy.assign(m_positions.size(), 1.0f);
    if (Object* const parent = GetParent(); parent && parent != GetReference()) {
        ConformationReference::Release(m_record.Get(), this);
        m_record.Get() = ConformationReference::Acquire(parent, this);
    }
}

// ---- Record

Object* Conformation::GetReference() const
{
    return m_record.Get() ? m_record.Get()->GetReference() : nullptr;
}

int Conformation::GetAtomCount() const
{
    return m_record.Get() ? m_record.Get()->GetAtomCount() : 0;
}

Atom* Conformation::GetAtom(int index) const
{
    return m_record.Get() ? m_record.Get()->GetAtom(index) : nullptr;
}

int Conformation::GetAtomIndex(const Atom* atom) const
{
    return m_record.Get() ? m_record.Get()->GetAtomIndex(atom) : -1;
}

int Conformation::GetBondCount() const
{
    return m_record.Get() ? m_record.Get()->GetBondCount() : 0;
}

Bond* Conformation::GetBond(int index) const
{
    return m_record.Get() ? m_record.Get()->GetBond(index) : nullptr;
}

int Conformation::GetBondIndex(const Bond* bond) const
{
    return m_record.Get() ? m_record.Get()->GetBondIndex(bond) : -1;
}

// ---- Values

bool Conformation::InRange(int index) const
{
    return index >= 0 && index < GetAtomCount();
}

void Conformation::GetPositions(Point3d::Array& out) const
{
    out = m_positions;
}

Point3d Conformation::GetPosition(int index) const
{
    return InRange(index) ? ValueAt(m_positions, index, Point3d::origin) : Point3d::origin;
}

Point3d Conformation::GetPosition(const Atom* atom) const
{
    return GetPosition(GetAtomIndex(atom));
}

void Conformation::SetPosition(int index, const Point3d& position)
{
    if (InRange(index))
        SetValueAt(m_positions, index, position);
}

void Conformation::SetPosition(const Atom* atom, const Point3d& position)
{
    if (atom)
        SetPosition(GetAtomIndex(atom), position);
}

double Conformation::GetOccupancy(int index) const
{
    return ValueAt(m_occupancy, index, 1.0f);
}

double Conformation::GetOccupancy(const Atom* atom) const
{
    return GetOccupancy(GetAtomIndex(atom));
}

void Conformation::SetOccupancy(int index, double occupancy)
{
    SetValueAt(m_occupancy, index, occupancy);
}

void Conformation::SetOccupancy(const Atom* atom, double occupancy)
{
    SetOccupancy(GetAtomIndex(atom), occupancy);
}

double Conformation::GetIsotropicDisplacement(int index) const
{
    return ValueAt(m_isotropic, index, 0.0f);
}

double Conformation::GetIsotropicDisplacement(const Atom* atom) const
{
    return GetIsotropicDisplacement(GetAtomIndex(atom));
}

void Conformation::SetIsotropicDisplacement(int index, double displacement)
{
    SetValueAt(m_isotropic, index, displacement);
}

void Conformation::SetIsotropicDisplacement(const Atom* atom, double displacement)
{
    SetIsotropicDisplacement(GetAtomIndex(atom), displacement);
}

void Conformation::ApplyColor(bool use)
{
    m_useColor.Get() = use;
}

void Conformation::ApplyColorScheme(bool use)
{
    m_useColorScheme.Get() = use;
}

void Conformation::ApplyDisplayStyle(bool use)
{
    m_useDisplayStyle.Get() = use;
}

bool Conformation::Is2D() const
{
    return m_twoD;
}

void Conformation::ApplyConformationToReference() const
{
    const int count = GetAtomCount();
    for (int i = 0; i < count; ++i) {
        Atom* const atom = m_record.Get()->GetAtom(i);
        if (!atom)
            continue;
        const auto at = static_cast<std::size_t>(i);
        if (at < m_isotropic.size())
            atom->SetIsotropicDisplacement(m_isotropic[at]);
        if (at < m_occupancy.size())
            atom->SetOccupancy(m_occupancy[at]);
        if (at < m_positions.size())
            atom->SetXYZ(m_positions[at]);
    }
}

void Conformation::ApplyReferenceToConformation()
{
    const auto count = static_cast<std::size_t>(GetAtomCount());
    m_isotropic.assign(count, 0.0f);
    m_occupancy.assign(count, 1.0f);
    m_positions.assign(count, Point3d::origin);
    for (std::size_t i = 0; i < count; ++i) {
        if (const Atom* const atom = m_record.Get()->GetAtom(static_cast<int>(i))) {
            m_isotropic[i] = atom->GetIsotropicDisplacement();
            m_occupancy[i] = atom->GetOccupancy();
            m_positions[i] = atom->GetXYZ();
        }
    }
}

// ---- Torsions

bool Conformation::IsBondRotatable(int bond) const
{
    return m_record.Get() && bond >= 0 && bond < m_record.Get()->GetBondCount() && m_record.Get()->GetSideCount(bond) > 0;
}

void Conformation::IncrementBondTorsion(int bond, double angle)
{
    if (!m_record.Get())
        return;
    const int moving = m_record.Get()->GetSideCount(bond);
    const int first = m_record.Get()->GetSideAtomIndex(bond, 0);
    const Bond* const rotated = m_record.Get()->GetBond(bond);
    if (!rotated)
        return;
    const Atom* const end1 = DynCast<Atom>(rotated->GetAtom1());
    const Atom* const end2 = DynCast<Atom>(rotated->GetAtom2());
    const int fixed = GetAtomIndex(m_record.Get()->GetAtomIndex(end1) == first ? end2 : end1);
    const Point3d pivot = GetPosition(fixed);
    Matrix4x4 rotation;
    rotation.SetRotation(GetPosition(first) - pivot, pivot, angle);
    for (int k = 0; k < moving; ++k) {
        const int index = m_record.Get()->GetSideAtomIndex(bond, k);
        SetPosition(index, GetPosition(index) * rotation);
    }
}

// ---- Alternates

void Conformation::GetAlternates(const Conformation* conformation, BaseCollection& atoms, BaseCollection& bonds)
{
    if (!conformation || !conformation->m_record.Get())
        return;
    ConformationReference& record = *conformation->m_record.Get();
    record.SetStale();
    std::unordered_set<const Atom*> marked;
    const int atomCount = record.GetAtomCount();
    for (int i = 0; i < atomCount; ++i) {
        Atom* const atom = record.GetAtom(i);
        if (atom && atom->HasProperty(alternatesMarker)) {
            marked.insert(atom);
            atoms.Add(atom);
        }
    }
    const int bondCount = record.GetBondCount();
    for (int i = 0; i < bondCount; ++i) {
        Bond* const bond = record.GetBond(i);
        if (!bond)
            continue;
        const Atom* const end1 = DynCast<Atom>(bond->GetAtom1());
        const Atom* const end2 = DynCast<Atom>(bond->GetAtom2());
        const bool in1 = marked.contains(end1);
        const bool in2 = marked.contains(end2);
        const auto heavy = [](const Atom* atom) { return !atom || atom->GetElementType() != 1; };
        if ((in1 && in2) || (in1 && heavy(end2)) || (in2 && heavy(end1)))
            bonds.Add(bond);
    }
}

bool Conformation::ValidateReference(Object* reference) const
{
    return reference && static_cast<std::size_t>(ConformationReference::CountAtoms(*reference)) >= m_positions.size();
}

// ---- Copies

bool Conformation::ShallowCopyOK() const
{
    Object* const reference = GetReference();
    if (!reference)
        return true;
    return IsInsideCopy(reference) && ValidateReference(reference);
}

void Conformation::DeepenShallowCopy()
{
    Object::DeepenShallowCopy();
    const auto* const source = DynCast<Conformation>(GetCopySource());
    m_record = ConformationReference::Acquire(source ? source->GetReference() : nullptr, this);
    if (m_record.Get())
        m_record = m_record.Get()->Clone(this);
}

// ---- Display

void Conformation::Display(DisplayList3D& list)
{
    if (GetReference())
        Object::Display(list);
}

void Conformation::DisplayReference(Object* reference, DisplayList3D& list)
{
    if (!reference)
        return;
    const Color color = reference->GetColor();
    const std::string scheme = reference->GetColorScheme();
    const std::int32_t style = reference->GetDisplayStyle();
    // The reference's look is given back whatever the drawing does.
    struct GiveBack {
        Object& reference;
        const Conformation& self;
        const Color& color;
        const std::string& scheme;
        std::int32_t style;
        ~GiveBack()
        {
            if (self.m_useColor.Get())
                reference.SetColor(color);
            if (self.m_useColorScheme.Get())
                reference.SetColorScheme(scheme);
            if (self.m_useDisplayStyle.Get())
                reference.SetDisplayStyle(style);
        }
    } giveBack{*reference, *this, color, scheme, style};
    if (m_useColor.Get())
        reference->SetColor(GetColor());
    if (m_useColorScheme.Get())
        reference->SetColorScheme(GetColorScheme());
    if (m_useDisplayStyle.Get())
        reference->SetDisplayStyle(GetDisplayStyle());
    for (int i = 0; i < reference->GetNumChildren(); ++i) {
        Object* const child = reference->GetChild(i);
        if (child && !::Tavrel::IsA<Conformation>(child))
            child->DisplayAll(list, false);
    }
}

void Conformation::NormalDisplay(DisplayList3D& list)
{
    const EventSwitch quiet(false);
    Object* const reference = GetReference();
    if (!reference)
        return;
    // The reference's own values, selection and visibility, given back on every way out.
    struct Snapshot {
        Conformation values;
        std::vector<Object*> nodes;
        std::vector<std::uint32_t> oids;
        std::vector<bool> selected;
        std::vector<bool> visible;
        bool applied = false;

        ~Snapshot()
        {
            if (applied) {
                const EventSwitch loud(true);
                values.ApplyConformationToReference();
            }
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                Object* const node = nodes[i];
                if (Object::GetObjectA(oids[i]) != node)
                    continue;
                if (selected[i])
                    node->Select(false);
                else
                    node->UnSelect(false);
                if (visible[i])
                    node->SetVisible(false);
                else
                    node->SetInvisible(false);
            }
        }
    } snapshot;
    snapshot.values.m_record.Get() = ConformationReference::Acquire(reference, &snapshot.values);
    snapshot.values.ApplyReferenceToConformation();

    const bool shownSelected = IsSelected();
    DescendentIterator walk(reference, true);
    while (Object* const node = walk.GetNext()) {
        if (::Tavrel::IsA<Conformation>(node))
            continue;
        snapshot.nodes.push_back(node);
        snapshot.oids.push_back(node->GetOID());
        snapshot.selected.push_back(node->IsObjectSelected());
        snapshot.visible.push_back(node->Object::IsVisible());
    }
    for (std::size_t i = 0; i < snapshot.nodes.size(); ++i) {
        Object* const node = snapshot.nodes[i];
        if (shownSelected && !snapshot.selected[i])
            node->Select(false);
        else if (!shownSelected && snapshot.selected[i] && !::Tavrel::IsA<Atom>(node))
            node->UnSelect(false);
        if (!snapshot.visible[i])
            node->SetVisible(false);
    }
    {
        const EventSwitch loud(true);
        snapshot.applied = true;
        ApplyConformationToReference();
    }
    DisplayReference(reference, list);
}

const ConformationQueries& Conformation::Queries()
{
    static const ConformationAnswers queries;
    return queries;
}

} // namespace Tavrel
