// Vertex and index buffers keep their elements over a device re-creation and refuse writes
// outside themselves; model instances release their base with the last of them and tear down
// their physics world through Bullet; every pass works on empty tables.
#include "graphics/model_resources.h"

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "core/tracked_memory.h"
#include "graph_fixture.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graph_restore.h"
#include "graphics/graphics_system.h"
#include "image/color_format.h"

namespace {

class ModelResourcesTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
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

// An uncompressed top-down 24-bit TGA file of one colour.
std::vector<uint8_t> FlatTga(int width, int height, uint8_t grey) {
    std::vector<uint8_t> file(18 + static_cast<size_t>(width) * height * 3, grey);
    std::fill(file.begin(), file.begin() + 18, 0);
    file[2] = 2;
    file[12] = static_cast<uint8_t>(width);
    file[13] = static_cast<uint8_t>(width >> 8);
    file[14] = static_cast<uint8_t>(height);
    file[15] = static_cast<uint8_t>(height >> 8);
    file[16] = 24;
    file[17] = 0x20;
    return file;
}

TEST_F(ModelResourcesTest, ABumpTextureBecomesAPowerOfTwoNormalMap) {
    ASSERT_GE(gDeviceResources.maxTextureWidth, 256);
    ASSERT_GE(gDeviceResources.maxTextureHeight, 128);
    const std::vector<uint8_t> file = FlatTga(100, 60, 90);
    const ModelTextureSource source = {nullptr, file.data(), static_cast<uint32_t>(file.size())};
    GraphImage color{}, alpha{};
    ASSERT_EQ(LoadModelTextureImages(&color, &alpha, &source, nullptr, 1, 0.0f, 0), 0);
    EXPECT_EQ(color.width, 128);
    EXPECT_EQ(color.height, 64);
    // A flat height map faces straight out: (0, 0, 1) as (127, 127, 255), alpha 0, within the
    // rounding of the bilinear stretch.
    for (int y = 0; y < color.height; y += 7) {
        for (int x = 0; x < color.width; x += 5) {
            int r = 0, g = 0, b = 0, a = 0;
            ASSERT_EQ(ReadGraphImagePixel(&color, x, y, &r, &g, &b, &a), 0);
            ASSERT_NEAR(r, 127, 1);
            ASSERT_NEAR(g, 127, 1);
            ASSERT_NEAR(b, 255, 1);
            ASSERT_EQ(a, 0);
        }
    }
    FreeGraphImage(&color);
    FreeGraphImage(&alpha);

    // Unstretched: a rise of 255 to the right (wrapping back at the edge) at strength 1 gives
    // the normal (-1, 0, 1) / sqrt 2.
    std::vector<uint8_t> ramp = FlatTga(2, 1, 0);
    std::fill(ramp.begin() + 21, ramp.end(), 255);
    const ModelTextureSource rampSource = {nullptr, ramp.data(),
                                           static_cast<uint32_t>(ramp.size())};
    ASSERT_EQ(LoadModelTextureImages(&color, &alpha, &rampSource, nullptr, 1, 1.0f, 0), 0);
    const float h = 1.0f / std::sqrt(2.0f);
    int r = 0, g = 0, b = 0, a = 0;
    ASSERT_EQ(ReadGraphImagePixel(&color, 0, 0, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, static_cast<int>((1.0f - h) * 127.5f));
    EXPECT_EQ(g, 127);
    EXPECT_EQ(b, static_cast<int>((1.0f + h) * 127.5f));
    ASSERT_EQ(ReadGraphImagePixel(&color, 1, 0, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, static_cast<int>((1.0f + h) * 127.5f));
    FreeGraphImage(&color);
    FreeGraphImage(&alpha);

    // An alpha image alone gets a white colour image of its size.
    const std::vector<uint8_t> alphaFile = FlatTga(16, 8, 200);
    const ModelTextureSource alphaSource = {nullptr, alphaFile.data(),
                                            static_cast<uint32_t>(alphaFile.size())};
    ASSERT_EQ(LoadModelTextureImages(&color, &alpha, nullptr, &alphaSource, 0, 1.0f, 0), 0);
    EXPECT_EQ(color.width, 16);
    EXPECT_EQ(alpha.height, 8);
    EXPECT_EQ(ReadGraphImagePixelARGB(&color, 3, 3), 0xFFFFFFFFu);
    FreeGraphImage(&color);
    FreeGraphImage(&alpha);

    const std::vector<uint8_t> damaged(file.begin(), file.begin() + 20);
    const ModelTextureSource bad = {nullptr, damaged.data(), static_cast<uint32_t>(damaged.size())};
    EXPECT_EQ(LoadModelTextureImages(&color, &alpha, &source, &bad, 0, 1.0f, 0), -1);
    EXPECT_EQ(LoadModelTextureImages(&color, &alpha, nullptr, nullptr, 0, 1.0f, 0), -1);
}

TEST_F(ModelResourcesTest, TexturesAreMadeAgainAndUnreadableOnesSkipped) {
    Handle ramp = MakeGreyRampTexture();
    ASSERT_NE(ramp, -1);
    EXPECT_EQ(DisposeGraph(ramp), 0);
    Handle base = MakeBase(1);
    ModelBaseRecord* b = Base(base);
    b->materialCount = 1;
    b->materials =
        static_cast<ModelMaterial*>(AllocClearedMemory(sizeof(ModelMaterial), __FILE__, __LINE__));
    const char name[] = "no such texture.bmp";
    b->materials[0].colorFile = static_cast<char*>(AllocMemory(sizeof name, __FILE__, __LINE__));
    std::memcpy(b->materials[0].colorFile, name, sizeof name);
    b->materials[0].graph = -1;
    EXPECT_EQ(RestoreModelTextures(), 0);
    EXPECT_EQ(b->materials[0].graph, -1);
    // Shutdown frees the material with its base.
}

TEST_F(ModelResourcesTest, BuiltinTexturesAndTheGreyRampAreMadeAgainAfterTheDeviceIsRebuilt) {
    auto colours = [](Handle graph) {
        GraphPixels p = ReadGraph(graph);
        std::vector<uint32_t> out;
        for (uint32_t v : p.raw) {
            int r = 0, g = 0, b = 0;
            UnpackColorForFormat(&p.format, v, &r, &g, &b, nullptr);
            out.push_back(uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b));
        }
        return out;
    };
    std::vector<uint32_t> before[kModelBuiltinTextureCount];
    for (int i = 0; i < kModelBuiltinTextureCount; ++i) {
        ASSERT_NE(GetModelBuiltinTexture(i), -1) << i;
        before[i] = colours(GetModelBuiltinTexture(i));
    }
    EXPECT_EQ(before[kModelWhiteTexture], std::vector<uint32_t>(64, 0xFFFFFF));
    ASSERT_EQ(before[kModelToonTexture].size(), 32u * 8u);
    EXPECT_LT(before[kModelToonTexture][0], before[kModelToonTexture][31]);
    ASSERT_EQ(before[kModelGreyRampTexture].size(), 256u * 8u);
    for (uint32_t x = 0; x < 256; ++x) {
        ASSERT_EQ(before[kModelGreyRampTexture][7 * 256 + x], x << 16 | x << 8 | x) << x;
    }

    // Only the model restore may bring them back: the graph restore is made to do nothing.
    ASSERT_EQ(InstallGraphRestoreHandler([] {}), 0);
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    InstallGraphRestoreHandler(nullptr);
    for (int i = 0; i < kModelBuiltinTextureCount; ++i) {
        EXPECT_EQ(colours(GetModelBuiltinTexture(i)), before[i]) << i;
    }
    EXPECT_EQ(UnregisterModelHandleTypes(), 0);
    EXPECT_EQ(GetModelBuiltinTexture(kModelWhiteTexture), -1);
}

}  // namespace
