#include <tavrel/document/DataModelLibrary.h>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/chemistry/Head.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/RGroup.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/chemistry/Tail.h>
#include <tavrel/conformers/Animation.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerJack.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/Trajectory.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/document/CSchemaException.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/features/PointFeature.h>
#include <tavrel/features/QueryFeature.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/graphics/Annotation.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/graphics/Geometric2d.h>
#include <tavrel/monitors/AngleMonitor.h>
#include <tavrel/monitors/BumpMonitor.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/DihedralMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/GeometryMonitor.h>
#include <tavrel/monitors/HBondMonitor.h>
#include <tavrel/monitors/LineMonitor.h>
#include <tavrel/monitors/Monitor.h>
#include <tavrel/monitors/NormalMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/monitors/RotatableBondMonitor.h>
#include <tavrel/monitors/Surface.h>
#include <tavrel/monitors/TorsionMonitor.h>
#include <tavrel/monitors/VectorMonitor.h>

namespace Tavrel {

namespace {

// One line per class, base classes before the classes derived from them. Identifiers are handed out
// in this order.
void RegisterAllClasses()
{
    ClassRegistry::Register<Base>();
    ClassRegistry::Register<TreeNode>();
    ClassRegistry::Register<Object>();
    ClassRegistry::Register<TreeRoot>();
    ClassRegistry::Register<Geometric>();
    ClassRegistry::Register<Geometric3d>();
    ClassRegistry::Register<BaseCollection>();
    ClassRegistry::Register<OrdCollection>();
    ClassRegistry::Register<SetCollection>();
    ClassRegistry::Register<NamedCollection>();
    ClassRegistry::Register<Chain>();
    ClassRegistry::Register<SubUnit>();
    ClassRegistry::Register<Assembly>();
    ClassRegistry::Register<Molecule>();
    ClassRegistry::Register<Bond>();
    ClassRegistry::Register<Bondable>();
    ClassRegistry::Register<Atom>();
    ClassRegistry::Register<Atom3d>();
    ClassRegistry::Register<Head>();
    ClassRegistry::Register<Tail>();
    ClassRegistry::Register<RGroup>();
    ClassRegistry::Register<Conformation>();
    ClassRegistry::Register<Conformer>();
    ClassRegistry::Register<ConformerModel>();
    ClassRegistry::Register<ConformerModelToken>();
    ClassRegistry::Register<Animation>();
    ClassRegistry::Register<ObjectFrame>();
    ClassRegistry::Register<TrajectoryFrame>();
    ClassRegistry::Register<Trajectory>();
    ClassRegistry::Register<ConformerAtom>();
    ClassRegistry::Register<ConformerBond>();
    ClassRegistry::Register<ConformerJack>();
    ClassRegistry::Register<Cell>();
    ClassRegistry::Register<Cell3d>();
    ClassRegistry::Register<ReplicateAtom>();
    ClassRegistry::Register<SymmetryOp>();
    ClassRegistry::Register<Symmetry>();
    ClassRegistry::Register<Geometric2d>();
    ClassRegistry::Register<DecoratedAnnotation>();
    ClassRegistry::Register<Monitor>();
    ClassRegistry::Register<Surface>();
    ClassRegistry::Register<GeometryMonitor>();
    ClassRegistry::Register<DistanceMonitor>();
    ClassRegistry::Register<AngleMonitor>();
    ClassRegistry::Register<Annotation>();
    ClassRegistry::Register<AnnotationProperty>();
    ClassRegistry::Register<Residue>();
    ClassRegistry::Register<AminoAcid>();
    ClassRegistry::Register<NucleicAcid>();
    ClassRegistry::Register<AminoAcidChain>();
    ClassRegistry::Register<NucleicAcidChain>();
    ClassRegistry::Register<QueryFeature>();
    ClassRegistry::Register<PointFeature>();
    ClassRegistry::Register<DihedralMonitor>();
    ClassRegistry::Register<TorsionMonitor>();
    ClassRegistry::Register<RotatableBondMonitor>();
    ClassRegistry::Register<CentroidMonitor>();
    ClassRegistry::Register<LineMonitor>();
    ClassRegistry::Register<PlaneMonitor>();
    ClassRegistry::Register<NormalMonitor>();
    ClassRegistry::Register<VectorMonitor>();
    ClassRegistry::Register<BumpMonitor>();
    ClassRegistry::Register<HBondMonitor>();
    RuntimeClass::Register(Property::GetThisClass());
    RuntimeClass::Register(ChemDoc::GetThisClass());
    RuntimeClass::Register(CSchemaException::GetThisClass());
}

// One line per question a lower folder asks of a higher one: the higher folder's answers.
void InstallAllAnswers()
{
    CrystalImageQueries::Install(&Cell3d::ImageQueries());
    ConformationQueries::Install(&Conformation::Queries());
}

// Registration runs when the library is loaded.
const bool g_attached = (AttachDataModelDLL(), true);

} // namespace

void AttachDataModelDLL()
{
    static const bool registered = (RegisterAllClasses(), InstallAllAnswers(), true);
    static_cast<void>(registered);
    static_cast<void>(g_attached);
}

} // namespace Tavrel
