// ModelClasses: the library's model classes, in registration order.
#pragma once

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/DNASequence.h>
#include <tavrel/biopolymers/Monomer.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/chemistry/Chain.h>
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
#include <tavrel/crystal/Cell2d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/features/PointFeature.h>
#include <tavrel/features/QueryFeature.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/Annotation.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/graphics/Geometric2d.h>
#include <tavrel/monitors/AngleMonitor.h>
#include <tavrel/monitors/BumpMonitor.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/ChiralityMonitor.h>
#include <tavrel/monitors/Constraint.h>
#include <tavrel/monitors/DihedralMonitor.h>
#include <tavrel/monitors/DihedralRestraint.h>
#include <tavrel/monitors/DipoleMomentMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/DistanceRestraint.h>
#include <tavrel/monitors/FixedAtomConstraint.h>
#include <tavrel/monitors/GeometryMonitor.h>
#include <tavrel/monitors/HBondMonitor.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/monitors/LineMonitor.h>
#include <tavrel/monitors/Monitor.h>
#include <tavrel/monitors/NormalMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/monitors/PositionMonitor.h>
#include <tavrel/monitors/Restraint.h>
#include <tavrel/monitors/RotatableBondMonitor.h>
#include <tavrel/monitors/StructureMonitor.h>
#include <tavrel/monitors/Surface.h>
#include <tavrel/monitors/TorsionMonitor.h>
#include <tavrel/monitors/TupleMonitor.h>
#include <tavrel/monitors/VectorMonitor.h>

namespace Tavrel {

// One entry per class (and per data-less interface), base classes before the classes derived from
// them: class-type identifiers are handed out in this order. A new class is one more entry.
using ModelClasses = ClassList<Base, TreeNode, Object, TreeRoot, Geometric, Geometric3d, BaseCollection, OrdCollection,
                               SetCollection, NamedCollection, Chain, SubUnit, Assembly, Molecule, Bond, Bondable, Atom,
                               Atom3d, Head, Tail, RGroup, Conformation, Conformer, ConformerModel, ConformerModelToken,
                               Animation, ObjectFrame, TrajectoryFrame, Trajectory, ConformerAtom, ConformerBond,
                               ConformerJack, Cell, Cell3d, ReplicateAtom, SymmetryOp, Symmetry, Geometric2d,
                               DecoratedAnnotation, Monitor, Surface,
                               GeometryMonitor, DistanceMonitor, AngleMonitor, Annotation, AnnotationProperty, Residue,
                               AminoAcid, NucleicAcid, AminoAcidChain, NucleicAcidChain, QueryFeature, PointFeature,
                               DihedralMonitor, TorsionMonitor, RotatableBondMonitor, CentroidMonitor, LineMonitor,
                               PlaneMonitor, NormalMonitor, VectorMonitor, BumpMonitor, HBondMonitor, Cell2d,
                               ChiralityMonitor, StructureMonitor, PositionMonitor, TupleMonitor, DipoleMomentMonitor,
                               Constraint, Restraint, FixedAtomConstraint, HarmonicAtomRestraint, DihedralRestraint,
                               DistanceRestraint, Monomer, ProteinSequence, DNASequence>;

} // namespace Tavrel
