// Vertex and index buffers (kinds 15 and 16) whose contents outlive the device, and the resource
// side of 3D models: model base data (kind 13) and model instances (kind 14) with their device
// buffers, their rebuild after a device re-creation and their release, physics world included.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"

constexpr int32_t kMaxVertexBuffers = 16384;
constexpr int32_t kMaxIndexBuffers = 16384;
constexpr int32_t kMaxModelHandles = 32768;
// Per base: 3 groups x (fixed-function formats, shader declarations) x 9 vertex layouts.
constexpr int kModelBufferLists = 3 * 2 * 9;
constexpr int kModelSineTableSize = 65536;

struct VertexBufferRecord {
    HandleHeader header;
    int32_t elementSize;
    int32_t elementCount;
    void* data;  // every element, kept for a device re-creation
    IDirect3DVertexBuffer9* buffer;
};
struct IndexBufferRecord {
    HandleHeader header;
    int32_t elementSize;  // 2 or 4
    int32_t elementCount;
    void* data;
    IDirect3DIndexBuffer9* buffer;
};

extern HandleRegistry gVertexBufferRegistry;
extern HandleRegistry gIndexBufferRegistry;

// Writes count elements from start; -1 for a bad handle or range, or a failed lock.
int SetVertexBufferData(int start, const void* data, int count, Handle buffer);
int SetIndexBufferData(int start, const void* data, int count, Handle buffer);
// The terminate callback of both buffer kinds: the device object goes, the kept data with it.
int ReleaseBufferObject(HandleHeader* record);
// After a device re-creation: every buffer is made again and refilled from its kept data; 0.
int RecreateBufferObjects();
// Before the device goes: every buffer's device object is released, its data kept; 0.
int ReleaseBufferObjects();

// One device vertex buffer with its 16-bit index buffer, and the data that fills them.
struct ModelBufferNode {
    ModelBufferNode* next;
    DWORD fvf;  // 0 for a shader vertex declaration
    int32_t vertexSize, vertexCount, indexCount;
    void* vertices;
    uint16_t* indices;
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer;
};

struct ModelMaterial {
    char* colorFile;
    char* alphaFile;
    int32_t bump;
    float bumpStrength;
    Handle graph;  // -1 for none
};

struct ModelBaseRecord {
    HandleHeader header;
    int32_t refCount;  // the instances that use it
    int32_t materialCount;
    ModelMaterial* materials;
    ModelBufferNode* bufferLists[kModelBufferLists];
    int32_t rigidBodyCount, jointCount;
    int32_t buffersSetUp;
    Handle firstInstance, lastInstance;  // -1 for none
    int32_t instanceCount;
};

class btBroadphaseInterface;
class btCollisionConfiguration;
class btConstraintSolver;
class btDispatcher;
class btDynamicsWorld;
struct btOverlapFilterCallback;
class btRigidBody;
class btTypedConstraint;

// The six Bullet objects an instance's physics world owns; the world is null when none was made.
struct PhysicsWorldBlock {
    btDynamicsWorld* world;
    btConstraintSolver* solver;
    btDispatcher* dispatcher;
    btBroadphaseInterface* broadphase;
    btCollisionConfiguration* configuration;
    btOverlapFilterCallback* filter;
};

struct ModelRigidBody {
    btRigidBody* body;
};

struct ModelTextureOverride {
    ModelMaterial material;
};

struct ModelRecord {
    HandleHeader header;
    Handle base;  // -1 for none
    Handle prevInstance, nextInstance;
    ModelBufferNode* bufferList;  // the instance's own buffers
    int32_t textureOverrideCount;
    ModelTextureOverride* textureOverrides;
    int32_t ownsTextureOverrides;
    ModelRigidBody* rigidBodies;  // the base's rigid-body count
    btTypedConstraint** joints;   // the base's joint count
    PhysicsWorldBlock physics;
};

extern HandleRegistry gModelBaseRegistry;
extern HandleRegistry gModelRegistry;
extern float gModelSineTable[kModelSineTableSize];

int RegisterModelHandleTypes();
int UnregisterModelHandleTypes();
int RetireAllModelInstances();
int RetireAllModelBaseData();
// Makes and fills the device buffers of a base's meshes, then of its instances; -1 (with every
// buffer of the base made so far released) when one cannot be made or filled.
int SetupModelBaseBuffers(Handle base, int rebuild, int fromWorker);
int SetupModelInstanceBuffers(Handle instance, int fromWorker);
// After a device re-creation: every base's device buffers are made again; 0.
int RebuildAllModelBuffers(int fromWorker);
int ReleaseModelBaseBuffers(Handle base);
// Before the device goes: every base's and instance's device buffers are released; 0.
int ReleaseAllModelBuffers();
// The terminate callbacks: a base is kept (1) while instances still use it.
int ReleaseModelInstance(HandleHeader* record);
int ReleaseModelBaseData(HandleHeader* record);
int TerminateModelPhysics(ModelRecord* instance);
// -1 when the block holds no world.
int TerminatePhysicsWorld(PhysicsWorldBlock* block);
struct GraphImage;

// Where a model texture image comes from: a file, or a memory block when fileName is null.
struct ModelTextureSource {
    const char* fileName;
    const void* memory;
    uint32_t size;
};

// The graphs of the textures any model may use without a file, made when the kinds are
// registered and again on restore.
enum ModelBuiltinTexture {
    kModelWhiteTexture,
    kModelToonTexture,
    kModelGreyRampTexture,
    kModelBuiltinTextureCount
};
// The graph of a built-in texture, or -1 while the model kinds are not set up.
Handle GetModelBuiltinTexture(int which);

// After a device re-creation: the built-in textures and the grey ramp are made again, and the
// textures of every base's materials and every instance's texture overrides from their files;
// one that cannot be made is skipped. 0.
int RestoreModelTextures();
// Reads a model texture's colour and alpha images (either source may be null, not both); with
// bump the colour image is taken as a height map and becomes a normal map. Sizes are raised to
// powers of two and the two images matched; with halfTurn each is turned by 180 degrees.
// -1 with nothing kept when an image cannot be read or resized.
int LoadModelTextureImages(GraphImage* color, GraphImage* alpha,
                           const ModelTextureSource* colorSource,
                           const ModelTextureSource* alphaSource, int bump, float bumpStrength,
                           int halfTurn);
// A 256 x 8 graph whose column x is grey (x, x, x); its handle or -1.
Handle MakeGreyRampTexture();
