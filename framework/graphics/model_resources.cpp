// Buffer contents are kept in memory so that they can be put back after a device re-creation;
// models hold their meshes' data likewise. Nothing in the program makes a buffer or a model,
// so all of this must also hold on empty tables.
#include "graphics/model_resources.h"

#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/log.h"
#include "core/tracked_memory.h"
#include "core/vector_math.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/graph_loading.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/screen_state.h"
#include "image/color_format.h"
#include "image/image_loaders.h"
#include "image/pixel_convert.h"

HandleRegistry gVertexBufferRegistry = {};
HandleRegistry gIndexBufferRegistry = {};
HandleRegistry gModelBaseRegistry = {};
HandleRegistry gModelRegistry = {};
float gModelSineTable[kModelSineTableSize];

namespace {

struct ModelState {
    int32_t setUp;
    void* scratch;
    Handle builtinTextures[kModelBuiltinTextureCount];
};
ModelState gModels = {0, nullptr, {-1, -1, -1}};

// A 24-bit bottom-up BMP file of width x height, each pixel 0xRRGGBB from the function, made
// when the program is compiled: the built-in textures are read through the image loaders as any
// file would be.
template <int Width, int Height, class Pixel>
constexpr auto MakeBmpFile(Pixel pixel) {
    constexpr int kRowBytes = (Width * 3 + 3) & ~3;
    constexpr int kFileBytes = 54 + kRowBytes * Height;
    std::array<uint8_t, kFileBytes> file{};
    auto put32 = [&file](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, kFileBytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, Width);
    put32(22, Height);
    file[26] = 1;  // planes
    file[28] = 24;  // bits per pixel
    put32(34, kRowBytes * Height);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const uint32_t rgb = pixel(x, y);
            const int at = 54 + (Height - 1 - y) * kRowBytes + x * 3;
            file[at] = static_cast<uint8_t>(rgb);
            file[at + 1] = static_cast<uint8_t>(rgb >> 8);
            file[at + 2] = static_cast<uint8_t>(rgb >> 16);
        }
    }
    return file;
}

// The material colour a model without a texture is drawn with: plain white.
constexpr auto kWhiteTextureFile = MakeBmpFile<8, 8>([](int, int) { return 0xFFFFFFu; });
// The shading ramp of cartoon-style materials: three bands from shadow to light, left to right.
constexpr auto kToonTextureFile = MakeBmpFile<32, 8>([](int x, int) {
    return x < 12 ? 0x9C9C9Cu : x < 22 ? 0xD8D8D8u : 0xFFFFFFu;
});

bool MakeGreyRampImage(GraphImage* ramp) {
    if (AllocGraphImageXRGB32(256, 8, ramp) != 0) return false;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 256; ++x) WriteGraphImagePixel(ramp, x, y, x, x, x, 255);
    }
    return true;
}

void DisposeBuiltinModelTextures() {
    for (Handle& graph : gModels.builtinTextures) {
        if (graph != -1) DisposeGraph(graph);
        graph = -1;
    }
}

// The image of a built-in texture: the two files read through the image loaders, the ramp drawn.
bool BuiltinTextureImage(int which, GraphImage* image) {
    if (which == kModelGreyRampTexture) return MakeGreyRampImage(image);
    const ModelTextureSource source =
        which == kModelWhiteTexture
            ? ModelTextureSource{nullptr, kWhiteTextureFile.data(), kWhiteTextureFile.size()}
            : ModelTextureSource{nullptr, kToonTextureFile.data(), kToonTextureFile.size()};
    GraphImage alpha{};
    return LoadModelTextureImages(image, &alpha, &source, nullptr, 0, 0.0f, 0) == 0;
}

// Puts the built-in textures and the grey ramp into their graphs, made when they have none
// (or lost theirs), so that a model keeps the handles it holds across a restore.
void PutBuiltinModelTextures() {
    for (int which = 0; which < kModelBuiltinTextureCount; ++which) {
        GraphImage image{};
        if (!BuiltinTextureImage(which, &image)) continue;
        Handle& graph = gModels.builtinTextures[which];
        if (graph == -1 || TransferGraphImageToGraph(&image, nullptr, 0, 0, graph) != 0) {
            if (graph != -1) DisposeGraph(graph);
            graph = BuildGraphFromGraphImage(&image, nullptr, 0);
        }
        FreeGraphImage(&image);
    }
}


// The byte range of count elements from start, or false when it is not inside the buffer.
bool ElementRange(int start, int count, int32_t elementSize, int32_t elementCount, uint32_t* offset,
                  uint32_t* size) {
    if (start < 0 || count < 0) return false;
    if (static_cast<int64_t>(start) + count > elementCount) return false;
    *offset = static_cast<uint32_t>(static_cast<int64_t>(start) * elementSize);
    *size = static_cast<uint32_t>(static_cast<int64_t>(count) * elementSize);
    return true;
}

template <class Record>
int SetBufferData(HandleRegistry* registry, int start, const void* data, int count, Handle handle,
                  const char* lockFailure) {
    if (!registry->setUp) return -1;
    auto* r = reinterpret_cast<Record*>(FindUsableHandleRecord(registry, handle));
    uint32_t offset = 0, size = 0;
    if (r == nullptr ||
        !ElementRange(start, count, r->elementSize, r->elementCount, &offset, &size))
        return -1;
    if (size == 0) return 0;
    if (r->buffer != nullptr) {
        void* locked = nullptr;
        if (FAILED(BufferLock(r->buffer, offset, size, &locked, 0)) || locked == nullptr) {
            AppendLogText(lockFailure);
            return -1;
        }
        std::memcpy(locked, data, size);
        BufferUnlock(r->buffer);
    }
    if (r->data != nullptr && r->data != data) {
        std::memcpy(static_cast<char*>(r->data) + offset, data, size);
    }
    return 0;
}

template <class Record, class Make>
void RecreateBuffers(HandleRegistry* registry, Make make, const char* createFailure,
                     int (*refill)(int, const void*, int, Handle)) {
    ForEachHandleRecord(registry, [&](HandleHeader* header) {
        auto* r = reinterpret_cast<Record*>(header);
        if (r->buffer != nullptr) return;
        if (make(r) != 0) {
            r->buffer = nullptr;
            AppendLogText(createFailure);
            return;
        }
        refill(0, r->data, r->elementCount, r->header.handle);
    });
}

template <class Record>
void ReleaseBuffers(HandleRegistry* registry) {
    ForEachHandleRecord(registry, [](HandleHeader* header) {
        auto* r = reinterpret_cast<Record*>(header);
        if (r->buffer == nullptr) return;
        ReleaseComObject(r->buffer);
        r->buffer = nullptr;
    });
}

uint32_t BufferBytes(int32_t elementSize, int32_t elementCount) {
    return static_cast<uint32_t>(static_cast<int64_t>(elementSize) * elementCount);
}

void FreeMaterial(ModelMaterial* m) {
    FreeMemory(m->colorFile);
    FreeMemory(m->alphaFile);
    m->colorFile = m->alphaFile = nullptr;
    if (m->graph != -1) DisposeGraph(m->graph);
    m->graph = -1;
}

void ReleaseNodeBuffers(ModelBufferNode* node) {
    for (; node != nullptr; node = node->next) {
        if (node->vertexBuffer != nullptr) ReleaseComObject(node->vertexBuffer);
        if (node->indexBuffer != nullptr) ReleaseComObject(node->indexBuffer);
        node->vertexBuffer = nullptr;
        node->indexBuffer = nullptr;
    }
}

void FreeNodeList(ModelBufferNode** list) {
    ReleaseNodeBuffers(*list);
    for (ModelBufferNode* node = *list; node != nullptr;) {
        ModelBufferNode* next = node->next;
        FreeMemory(node->vertices);
        FreeMemory(node->indices);
        FreeMemory(node);
        node = next;
    }
    *list = nullptr;
}

// Makes and fills the device buffers of every node of the list that has none; -1 on the first
// that cannot be made or filled.
int SetupNodeBuffers(ModelBufferNode* node, int fromWorker) {
    for (; node != nullptr; node = node->next) {
        uint32_t vertexBytes = BufferBytes(node->vertexSize, node->vertexCount);
        uint32_t indexBytes = BufferBytes(2, node->indexCount);
        if (node->vertexBuffer == nullptr && vertexBytes != 0) {
            if (MarshalCreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, node->fvf,
                                          D3DPOOL_DEFAULT, &node->vertexBuffer, fromWorker) != 0)
                return -1;
            void* locked = nullptr;
            if (FAILED(
                    MarshalBufferLock(node->vertexBuffer, 0, vertexBytes, &locked, 0, fromWorker)))
                return -1;
            std::memcpy(locked, node->vertices, vertexBytes);
            MarshalBufferUnlock(node->vertexBuffer, fromWorker);
        }
        if (node->indexBuffer == nullptr && indexBytes != 0) {
            if (MarshalCreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                         D3DPOOL_DEFAULT, &node->indexBuffer, fromWorker) != 0)
                return -1;
            void* locked = nullptr;
            if (FAILED(MarshalBufferLock(node->indexBuffer, 0, indexBytes, &locked, 0, fromWorker)))
                return -1;
            std::memcpy(locked, node->indices, indexBytes);
            MarshalBufferUnlock(node->indexBuffer, fromWorker);
        }
    }
    return 0;
}

ModelBaseRecord* FindBase(Handle base) {
    if (!gModelBaseRegistry.setUp) return nullptr;
    return reinterpret_cast<ModelBaseRecord*>(FindHandleRecord(&gModelBaseRegistry, base));
}

ModelRecord* FindInstance(Handle instance) {
    if (!gModelRegistry.setUp) return nullptr;
    return reinterpret_cast<ModelRecord*>(FindHandleRecord(&gModelRegistry, instance));
}

// Calls visit(handle) for every live record of the registry.
template <class Visit>
void ForEachRecord(HandleRegistry* registry, Visit visit) {
    ForEachHandleRecord(registry, [&visit](HandleHeader* header) { visit(header->handle); });
}

}  // namespace

int SetVertexBufferData(int start, const void* data, int count, Handle buffer) {
    return SetBufferData<VertexBufferRecord>(&gVertexBufferRegistry, start, data, count, buffer,
                                             "頂点バッファのロックに失敗しました\n");
}

int SetIndexBufferData(int start, const void* data, int count, Handle buffer) {
    return SetBufferData<IndexBufferRecord>(&gIndexBufferRegistry, start, data, count, buffer,
                                            "インデックスバッファのロックに失敗しました\n");
}

int ReleaseBufferObject(HandleHeader* record) {
    // Both kinds share this layout from the element size on.
    auto* r = reinterpret_cast<VertexBufferRecord*>(record);
    if (r->buffer != nullptr) ReleaseComObject(r->buffer);
    r->buffer = nullptr;
    FreeMemory(r->data);
    r->data = nullptr;
    return 0;
}

int RecreateBufferObjects() {
    RecreateBuffers<VertexBufferRecord>(
        &gVertexBufferRegistry,
        [](VertexBufferRecord* r) {
            return MarshalCreateVertexBuffer(BufferBytes(r->elementSize, r->elementCount), 0, 0,
                                             D3DPOOL_DEFAULT, &r->buffer, 0);
        },
        "頂点バッファの作成に失敗しました\n", SetVertexBufferData);
    RecreateBuffers<IndexBufferRecord>(
        &gIndexBufferRegistry,
        [](IndexBufferRecord* r) {
            D3DFORMAT format = r->elementSize == 4 ? D3DFMT_INDEX32 : D3DFMT_INDEX16;
            return MarshalCreateIndexBuffer(BufferBytes(r->elementSize, r->elementCount), 0, format,
                                            D3DPOOL_DEFAULT, &r->buffer, 0);
        },
        "インデックスバッファの作成に失敗しました\n", SetIndexBufferData);
    return 0;
}

int ReleaseBufferObjects() {
    ReleaseBuffers<VertexBufferRecord>(&gVertexBufferRegistry);
    ReleaseBuffers<IndexBufferRecord>(&gIndexBufferRegistry);
    return 0;
}

int RegisterModelHandleTypes() {
    if (gModels.setUp || !IsDirect3DMode()) return 0;
    SetupHandleRegistry(&gModelBaseRegistry, HandleKindBits(kHandleKindModelBase),
                        sizeof(ModelBaseRecord), kMaxModelHandles, nullptr, ReleaseModelBaseData,
                        "３Ｄモデル");
    SetupHandleRegistry(&gModelRegistry, HandleKindBits(kHandleKindModel), sizeof(ModelRecord),
                        kMaxModelHandles, nullptr, ReleaseModelInstance, "３Ｄモデル");
    for (int i = 0; i < kModelSineTableSize; ++i) {
        gModelSineTable[i] = static_cast<float>(std::sin(i * 2.0 * M_PI / kModelSineTableSize));
    }
    gModels.scratch = nullptr;
    gModels.setUp = 1;
    PutBuiltinModelTextures();
    return 0;
}

int UnregisterModelHandleTypes() {
    if (!gModels.setUp) return 0;
    RetireAllModelInstances();
    RetireAllModelBaseData();
    DisposeBuiltinModelTextures();
    FreeMemory(gModels.scratch);
    gModels.scratch = nullptr;
    ShutdownHandleRegistry(&gModelRegistry);
    ShutdownHandleRegistry(&gModelBaseRegistry);
    gModels.setUp = 0;
    return 0;
}

int RetireAllModelInstances() {
    if (!gModelRegistry.setUp) return 0;
    return RetireAllHandles(&gModelRegistry, nullptr);
}

int RetireAllModelBaseData() {
    if (!gModelBaseRegistry.setUp) return 0;
    return RetireAllHandles(&gModelBaseRegistry, nullptr);
}

int SetupModelBaseBuffers(Handle base, int rebuild, int fromWorker) {
    ModelBaseRecord* b = FindBase(base);
    if (b == nullptr) return -1;
    if (b->buffersSetUp && !rebuild) return 0;
    for (ModelBufferNode*& list : b->bufferLists) {
        if (SetupNodeBuffers(list, fromWorker) != 0) {
            for (ModelBufferNode* made : b->bufferLists) ReleaseNodeBuffers(made);
            return -1;
        }
    }
    b->buffersSetUp = 1;
    for (Handle i = b->firstInstance; i != -1;) {
        ModelRecord* instance = FindInstance(i);
        if (instance == nullptr) break;
        SetupModelInstanceBuffers(i, fromWorker);
        i = instance->nextInstance;
    }
    return 0;
}

int SetupModelInstanceBuffers(Handle instance, int fromWorker) {
    ModelRecord* m = FindInstance(instance);
    if (m == nullptr) return -1;
    if (SetupNodeBuffers(m->bufferList, fromWorker) != 0) {
        ReleaseNodeBuffers(m->bufferList);
        return -1;
    }
    return 0;
}

int RebuildAllModelBuffers(int fromWorker) {
    ForEachRecord(&gModelBaseRegistry,
                  [fromWorker](Handle base) { SetupModelBaseBuffers(base, 1, fromWorker); });
    return 0;
}

int ReleaseModelBaseBuffers(Handle base) {
    ModelBaseRecord* b = FindBase(base);
    if (b == nullptr) return -1;
    for (ModelBufferNode* list : b->bufferLists) ReleaseNodeBuffers(list);
    b->buffersSetUp = 0;
    for (Handle i = b->firstInstance; i != -1;) {
        ModelRecord* instance = FindInstance(i);
        if (instance == nullptr) break;
        ReleaseNodeBuffers(instance->bufferList);
        i = instance->nextInstance;
    }
    return 0;
}

int ReleaseAllModelBuffers() {
    ForEachRecord(&gModelBaseRegistry, [](Handle base) { ReleaseModelBaseBuffers(base); });
    ForEachRecord(&gModelRegistry, [](Handle instance) {
        if (ModelRecord* m = FindInstance(instance)) ReleaseNodeBuffers(m->bufferList);
    });
    return 0;
}

int ReleaseModelInstance(HandleHeader* record) {
    auto* m = reinterpret_cast<ModelRecord*>(record);
    ModelBaseRecord* b = m->base != -1 ? FindBase(m->base) : nullptr;
    if (b == nullptr) return 0;
    FreeNodeList(&m->bufferList);
    if (b->rigidBodyCount > 0) TerminateModelPhysics(m);
    FreeMemory(m->rigidBodies);
    FreeMemory(m->joints);
    m->rigidBodies = nullptr;
    m->joints = nullptr;
    if (m->textureOverrides != nullptr) {
        for (int i = 0; i < m->textureOverrideCount; ++i) {
            FreeMaterial(&m->textureOverrides[i].material);
        }
        if (m->ownsTextureOverrides) FreeMemory(m->textureOverrides);
        m->textureOverrides = nullptr;
    }
    ModelRecord* prev = m->prevInstance != -1 ? FindInstance(m->prevInstance) : nullptr;
    ModelRecord* next = m->nextInstance != -1 ? FindInstance(m->nextInstance) : nullptr;
    if (prev != nullptr) prev->nextInstance = m->nextInstance;
    if (next != nullptr) next->prevInstance = m->prevInstance;
    if (b->firstInstance == record->handle) b->firstInstance = m->nextInstance;
    if (b->lastInstance == record->handle) b->lastInstance = m->prevInstance;
    --b->instanceCount;
    Handle base = m->base;
    m->base = -1;
    RetireHandle(&gModelBaseRegistry, base);
    return 0;
}

int ReleaseModelBaseData(HandleHeader* record) {
    auto* b = reinterpret_cast<ModelBaseRecord*>(record);
    if (--b->refCount > 0) return 1;
    for (ModelBufferNode*& list : b->bufferLists) FreeNodeList(&list);
    b->buffersSetUp = 0;
    if (b->materials != nullptr) {
        for (int i = 0; i < b->materialCount; ++i) FreeMaterial(&b->materials[i]);
        FreeMemory(b->materials);
        b->materials = nullptr;
    }
    return 0;
}

int TerminateModelPhysics(ModelRecord* instance) {
    ModelBaseRecord* b = FindBase(instance->base);
    if (instance->rigidBodies != nullptr && b != nullptr) {
        for (int i = 0; i < b->rigidBodyCount; ++i) {
            ModelRigidBody& r = instance->rigidBodies[i];
            btDynamicsWorld* world = instance->physics.world;
            if (r.body != nullptr && world != nullptr) {
                // A joint still holding the body would reach it after it is gone.
                for (int j = world->getNumConstraints() - 1; j >= 0; --j) {
                    btTypedConstraint* joint = world->getConstraint(j);
                    if (&joint->getRigidBodyA() != r.body && &joint->getRigidBodyB() != r.body) {
                        continue;
                    }
                    world->removeConstraint(joint);
                    delete joint;
                }
                world->removeRigidBody(r.body);
            }
            if (r.body != nullptr) delete r.body->getMotionState();
            delete r.body;
            r.body = nullptr;
        }
    }
    if (instance->joints != nullptr && b != nullptr) {
        for (int i = 0; i < b->jointCount; ++i) instance->joints[i] = nullptr;
    }
    TerminatePhysicsWorld(&instance->physics);
    return 0;
}

int TerminatePhysicsWorld(PhysicsWorldBlock* block) {
    btDynamicsWorld* world = block->world;
    if (world == nullptr) return -1;
    for (int i = world->getNumConstraints() - 1; i >= 0; --i) {
        btTypedConstraint* constraint = world->getConstraint(i);
        world->removeConstraint(constraint);
        delete constraint;
    }
    btCollisionObjectArray& objects = world->getCollisionObjectArray();
    for (int i = world->getNumCollisionObjects() - 1; i >= 0; --i) {
        btCollisionObject* object = objects[i];
        btRigidBody* body = btRigidBody::upcast(object);
        if (body != nullptr) {
            delete body->getMotionState();
            world->removeRigidBody(body);
        } else {
            world->removeCollisionObject(object);
        }
        delete object;
    }
    delete world;
    delete block->solver;
    delete block->dispatcher;
    delete block->broadphase;
    delete block->configuration;
    delete block->filter;
    *block = PhysicsWorldBlock{};
    return 0;
}

namespace {

bool IsPowerOfTwo(int value) {
    return value > 0 && (value & (value - 1)) == 0;
}

int PowerOfTwoAtLeast(int value, int limit) {
    int p = 1;
    while (p < value && p < limit) p <<= 1;
    return p;
}

// The image stretched (bilinear) to width x height in its own format; false when it cannot be.
bool StretchImage(GraphImage* image, int width, int height) {
    if (image->width == width && image->height == height) return true;
    GraphImage out{};
    if (AllocGraphImage(width, height, &image->format, &out) != 0) return false;
    if (StretchGraphImageRect(0, 0, image->width, image->height, image, 0, 0, width, height, &out,
                              1) != 0) {
        FreeGraphImage(&out);
        return false;
    }
    FreeGraphImage(image);
    *image = out;
    return true;
}

// Raised to powers of two, each at most half the device's largest texture side.
bool MakePowerOfTwo(GraphImage* image, int halfTurn) {
    if (!IsPowerOfTwo(image->width) || !IsPowerOfTwo(image->height)) {
        const int maxWidth =
            gDeviceResources.maxTextureWidth > 0 ? gDeviceResources.maxTextureWidth : 256;
        const int maxHeight =
            gDeviceResources.maxTextureHeight > 0 ? gDeviceResources.maxTextureHeight : 256;
        const int width = PowerOfTwoAtLeast(image->width, std::max(1, maxWidth / 2));
        const int height = PowerOfTwoAtLeast(image->height, std::max(1, maxHeight / 2));
        if (!StretchImage(image, width, height)) return false;
    }
    return !halfTurn || RotateGraphImageHalfTurn(image) == 0;
}

// The height map (red channel) as a normal map of the same size.
bool MakeNormalMap(GraphImage* image, float strength) {
    const float s = std::max(strength, 1e-6f);
    GraphImage out{};
    if (AllocGraphImageARGB32(image->width, image->height, &out) != 0) return false;
    auto height = [image](int x, int y) {
        int r = 0;
        ReadGraphImagePixel(image, x, y, &r, nullptr, nullptr, nullptr);
        return static_cast<float>(r);
    };
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const float h = height(x, y);
            const float gx = (height(x + 1 < image->width ? x + 1 : 0, y) - h) / 255.0f;
            const float gy = (height(x, y + 1 < image->height ? y + 1 : 0) - h) / 255.0f;
            Vector3 n;
            MakeUnitVector(&n, -gx * s, -gy * s, s * s);
            WriteGraphImagePixel(&out, x, y, static_cast<int>((n.x + 1.0f) * 127.5f),
                                 static_cast<int>((n.y + 1.0f) * 127.5f),
                                 static_cast<int>((n.z + 1.0f) * 127.5f), 0);
        }
    }
    FreeGraphImage(image);
    *image = out;
    return true;
}

bool ReadSource(const ModelTextureSource* source, GraphImage* image) {
    return ReadGraphImage(source->fileName, source->memory, source->size,
                          source->fileName == nullptr ? 1 : 0, image, 0) == 0;
}

// The material's graph made again from its files.
void RestoreMaterialTexture(ModelMaterial* m) {
    if (m->colorFile == nullptr && m->alphaFile == nullptr) return;
    const ModelTextureSource color = {m->colorFile, nullptr, 0};
    const ModelTextureSource alpha = {m->alphaFile, nullptr, 0};
    GraphImage colorImage{}, alphaImage{};
    if (LoadModelTextureImages(&colorImage, &alphaImage, m->colorFile ? &color : nullptr,
                               m->alphaFile ? &alpha : nullptr, m->bump, m->bumpStrength, 0) != 0) {
        return;
    }
    if (m->graph != -1) DisposeGraph(m->graph);
    m->graph =
        BuildGraphFromGraphImage(&colorImage, m->alphaFile != nullptr ? &alphaImage : nullptr, 0);
    FreeGraphImage(&colorImage);
    FreeGraphImage(&alphaImage);
}

}  // namespace

Handle GetModelBuiltinTexture(int which) {
    return which >= 0 && which < kModelBuiltinTextureCount ? gModels.builtinTextures[which] : -1;
}

int LoadModelTextureImages(GraphImage* color, GraphImage* alpha,
                           const ModelTextureSource* colorSource,
                           const ModelTextureSource* alphaSource, int bump, float bumpStrength,
                           int halfTurn) {
    if (colorSource == nullptr && alphaSource == nullptr) return -1;
    GraphImage c{}, a{};
    auto fail = [&] {
        FreeGraphImage(&c);
        FreeGraphImage(&a);
        return -1;
    };
    if (colorSource != nullptr && !ReadSource(colorSource, &c)) return fail();
    if (alphaSource != nullptr && !ReadSource(alphaSource, &a)) return fail();
    if (colorSource == nullptr) {
        if (AllocGraphImageARGB32(a.width, a.height, &c) != 0) return fail();
        std::memset(c.pixels, 255, static_cast<size_t>(c.pitch) * c.height);
    }
    if (bump && !MakeNormalMap(&c, bumpStrength)) return fail();
    if (!MakePowerOfTwo(&c, halfTurn)) return fail();
    if (alphaSource != nullptr) {
        if (!MakePowerOfTwo(&a, halfTurn)) return fail();
        const bool colorNoLarger = c.width <= a.width && c.height <= a.height;
        if (colorNoLarger ? !StretchImage(&c, a.width, a.height)
                          : !StretchImage(&a, c.width, c.height)) {
            return fail();
        }
    }
    *color = c;
    *alpha = a;
    return 0;
}

Handle MakeGreyRampTexture() {
    GraphImage ramp{};
    if (!MakeGreyRampImage(&ramp)) return -1;
    Handle graph = BuildGraphFromGraphImage(&ramp, nullptr, 0);
    FreeGraphImage(&ramp);
    return graph;
}

int RestoreModelTextures() {
    if (gModels.setUp) PutBuiltinModelTextures();
    ForEachRecord(&gModelBaseRegistry, [](Handle base) {
        ModelBaseRecord* b = FindBase(base);
        for (int i = 0; b != nullptr && b->materials != nullptr && i < b->materialCount; ++i) {
            RestoreMaterialTexture(&b->materials[i]);
        }
    });
    ForEachRecord(&gModelRegistry, [](Handle instance) {
        ModelRecord* m = FindInstance(instance);
        for (int i = 0;
             m != nullptr && m->textureOverrides != nullptr && i < m->textureOverrideCount; ++i) {
            RestoreMaterialTexture(&m->textureOverrides[i].material);
        }
    });
    return 0;
}
