// Vertex and index buffers keep their elements over a device re-creation and refuse writes
// outside themselves; model instances release their base with the last of them and tear down
// their physics world through Bullet; every pass works on empty tables.
#include <gtest/gtest.h>

#include <btBulletDynamicsCommon.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "core/tracked_memory.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graphics_system.h"
#include "graphics/model_resources.h"
#include "graphics_fixture.h"

namespace {

class ModelResourcesTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        ASSERT_EQ(SetupLibrary(), 0);
        ASSERT_EQ(IsDirect3DMode(), 1);
    }

    template <class Record>
    static Handle MakeBuffer(HandleRegistry* registry, int elementSize, int elementCount) {
        Handle handle = IssueHandle(registry, -1);
        auto* r = reinterpret_cast<Record*>(FindHandleRecord(registry, handle));
        r->elementSize = elementSize;
        r->elementCount = elementCount;
        r->data = AllocClearedMemory(static_cast<uint32_t>(elementSize * elementCount), __FILE__,
                                     __LINE__);
        return handle;
    }

    // What the device buffer holds.
    template <class Record>
    static std::vector<uint8_t> DeviceContents(HandleRegistry* registry, Handle handle) {
        auto* r = reinterpret_cast<Record*>(FindHandleRecord(registry, handle));
        const size_t bytes = static_cast<size_t>(r->elementSize) * r->elementCount;
        std::vector<uint8_t> out(bytes);
        void* locked = nullptr;
        EXPECT_EQ(BufferLock(r->buffer, 0, 0, &locked, 0), D3D_OK);
        if (locked != nullptr) std::memcpy(out.data(), locked, bytes);
        BufferUnlock(r->buffer);
        return out;
    }

    static Handle MakeBase(int refCount) {
        Handle base = IssueHandle(&gModelBaseRegistry, -1);
        auto* b = reinterpret_cast<ModelBaseRecord*>(FindHandleRecord(&gModelBaseRegistry, base));
        b->refCount = refCount;
        b->firstInstance = b->lastInstance = -1;
        return base;
    }

    static ModelBaseRecord* Base(Handle base) {
        return reinterpret_cast<ModelBaseRecord*>(FindHandleRecord(&gModelBaseRegistry, base));
    }

    static Handle MakeInstance(Handle base) {
        Handle handle = IssueHandle(&gModelRegistry, -1);
        auto* m = reinterpret_cast<ModelRecord*>(FindHandleRecord(&gModelRegistry, handle));
        ModelBaseRecord* b = Base(base);
        m->base = base;
        m->nextInstance = -1;
        m->prevInstance = b->lastInstance;
        if (b->lastInstance != -1) {
            reinterpret_cast<ModelRecord*>(FindHandleRecord(&gModelRegistry, b->lastInstance))
                ->nextInstance = handle;
        } else {
            b->firstInstance = handle;
        }
        b->lastInstance = handle;
        ++b->instanceCount;
        return handle;
    }
};

TEST_F(ModelResourcesTest, EveryPassSucceedsOnEmptyTables) {
    EXPECT_EQ(gModelBaseRegistry.setUp, 1);
    EXPECT_EQ(gModelRegistry.setUp, 1);
    EXPECT_EQ(RegisterModelHandleTypes(), 0);
    EXPECT_FLOAT_EQ(gModelSineTable[16384], 1.0f);
    EXPECT_EQ(RestoreModelTextures(), 0);
    EXPECT_EQ(RebuildAllModelBuffers(0), 0);
    EXPECT_EQ(ReleaseAllModelBuffers(), 0);
    EXPECT_EQ(RecreateBufferObjects(), 0);
    EXPECT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(UnregisterModelHandleTypes(), 0);
    EXPECT_EQ(gModelBaseRegistry.setUp, 0);
    EXPECT_EQ(UnregisterModelHandleTypes(), 0);
}

TEST_F(ModelResourcesTest, WritesOutsideTheBufferAreRefusedAndWriteNothing) {
    Handle vb = MakeBuffer<VertexBufferRecord>(&gVertexBufferRegistry, 8, 100);
    ASSERT_EQ(RecreateBufferObjects(), 0);
    std::vector<uint8_t> src(8 * 11, 0xAB);
    EXPECT_EQ(SetVertexBufferData(90, src.data(), 10, vb), 0);
    EXPECT_EQ(SetVertexBufferData(91, src.data(), 10, vb), -1);
    EXPECT_EQ(SetVertexBufferData(-1, src.data(), 10, vb), -1);
    EXPECT_EQ(SetVertexBufferData(0, src.data(), -1, vb), -1);
    EXPECT_EQ(SetVertexBufferData(0x7FFFFFF0, src.data(), 0x20, vb), -1);
    EXPECT_EQ(SetVertexBufferData(0, src.data(), 1, vb + 1), -1);
    EXPECT_EQ(SetIndexBufferData(0, src.data(), 1, vb), -1);
    std::vector<uint8_t> expected(800, 0);
    std::fill(expected.begin() + 720, expected.end(), 0xAB);
    EXPECT_EQ(DeviceContents<VertexBufferRecord>(&gVertexBufferRegistry, vb), expected);
}

TEST_F(ModelResourcesTest, BufferContentsSurviveADeviceRecreation) {
    Handle vb = MakeBuffer<VertexBufferRecord>(&gVertexBufferRegistry, 12, 50);
    Handle ib = MakeBuffer<IndexBufferRecord>(&gIndexBufferRegistry, 2, 300);
    ASSERT_EQ(RecreateBufferObjects(), 0);
    std::vector<uint8_t> vertices(600);
    std::iota(vertices.begin(), vertices.end(), 0);
    std::vector<uint16_t> indices(300);
    std::iota(indices.begin(), indices.end(), 1000);
    ASSERT_EQ(SetVertexBufferData(0, vertices.data(), 50, vb), 0);
    ASSERT_EQ(SetIndexBufferData(0, indices.data(), 300, ib), 0);

    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(DeviceContents<VertexBufferRecord>(&gVertexBufferRegistry, vb), vertices);
    std::vector<uint8_t> indexBytes(600);
    std::memcpy(indexBytes.data(), indices.data(), 600);
    EXPECT_EQ(DeviceContents<IndexBufferRecord>(&gIndexBufferRegistry, ib), indexBytes);
    // Shutdown releases the device objects with the records (the fixture counts them).
}

TEST_F(ModelResourcesTest, ABaseStaysWhileAnInstanceUsesIt) {
    Handle base = MakeBase(2);
    Handle first = MakeInstance(base);
    Handle second = MakeInstance(base);
    ASSERT_EQ(RetireHandle(&gModelRegistry, first), 0);
    ASSERT_NE(Base(base), nullptr);
    EXPECT_EQ(Base(base)->instanceCount, 1);
    EXPECT_EQ(Base(base)->firstInstance, second);
    EXPECT_EQ(Base(base)->lastInstance, second);
    ASSERT_EQ(RetireHandle(&gModelRegistry, second), 0);
    EXPECT_EQ(Base(base), nullptr);
}

// A motion state and a world that count their deletions.
int gDeleted = 0;
struct CountedMotionState : btDefaultMotionState {
    ~CountedMotionState() override { ++gDeleted; }
};
int gDeletedJoints = 0;
// The joints of the world that still hold a body when it is deleted.
btDynamicsWorld* gWorld = nullptr;
int gJointsAtDeletion = -1;
struct CheckedBody : btRigidBody {
    using btRigidBody::btRigidBody;
    ~CheckedBody() override {
        gJointsAtDeletion = 0;
        for (int i = 0; i < gWorld->getNumConstraints(); ++i) {
            const btTypedConstraint* joint = gWorld->getConstraint(i);
            if (&joint->getRigidBodyA() == this || &joint->getRigidBodyB() == this) {
                ++gJointsAtDeletion;
            }
        }
    }
};
struct CountedJoint : btPoint2PointConstraint {
    using btPoint2PointConstraint::btPoint2PointConstraint;
    ~CountedJoint() override { ++gDeletedJoints; }
};
struct CountedWorld : btDiscreteDynamicsWorld {
    using btDiscreteDynamicsWorld::btDiscreteDynamicsWorld;
    ~CountedWorld() override { gDeleted += 100; }
};

TEST_F(ModelResourcesTest, ReleasingAnInstanceTearsDownItsPhysicsWorld) {
    gDeleted = 0;
    gDeletedJoints = 0;
    Handle base = MakeBase(1);
    Base(base)->rigidBodyCount = 1;
    Handle instance = MakeInstance(base);
    auto* m = reinterpret_cast<ModelRecord*>(FindHandleRecord(&gModelRegistry, instance));
    PhysicsWorldBlock& p = m->physics;
    auto* configuration = new btDefaultCollisionConfiguration();
    p.configuration = configuration;
    p.dispatcher = new btCollisionDispatcher(configuration);
    p.broadphase = new btDbvtBroadphase();
    p.solver = new btSequentialImpulseConstraintSolver();
    p.world = new CountedWorld(p.dispatcher, p.broadphase, p.solver, configuration);
    gWorld = p.world;
    static btSphereShape shape(1.0f);
    // One body the instance records, one only the world holds, joined by a constraint.
    auto* own = new CheckedBody(1.0f, new CountedMotionState(), &shape);
    auto* other = new btRigidBody(1.0f, new CountedMotionState(), &shape);
    p.world->addRigidBody(own);
    p.world->addRigidBody(other);
    auto* joint = new CountedJoint(*own, *other, btVector3(0, 0, 0), btVector3(0, 0, 0));
    p.world->addConstraint(joint);
    m->rigidBodies = static_cast<ModelRigidBody*>(
        AllocClearedMemory(sizeof(ModelRigidBody), __FILE__, __LINE__));
    m->rigidBodies[0].body = own;

    // The constraint holds the body the instance deletes first: it goes before the body.
    ASSERT_EQ(RetireHandle(&gModelRegistry, instance), 0);
    EXPECT_EQ(gDeleted, 102);
    EXPECT_EQ(Base(base), nullptr);
    EXPECT_EQ(gDeletedJoints, 1);
    EXPECT_EQ(gJointsAtDeletion, 0);
}

TEST_F(ModelResourcesTest, TearingDownWithoutAWorldIsRefused) {
    PhysicsWorldBlock block{};
    EXPECT_EQ(TerminatePhysicsWorld(&block), -1);
}

}  // namespace
