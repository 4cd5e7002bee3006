// Soft sounds: deletion of soft-sound data and players, the system pause of players, and the
// feeding of each playing player from its ring of waiting PCM, silence filling what is missing.
#include "sound/soft_sound.h"

#include "core/string_functions.h"
#include "core/threads.h"
#include "core/tracked_memory.h"
#include "sound/sound_buffer_slot.h"

namespace {

// Copies the whole frames waiting in the ring into one locked part, silence after them.
uint32_t FeedPart(SoftSoundRecord* player, uint8_t* part, uint32_t bytes) {
    uint32_t blockAlign = player->format.nBlockAlign;
    uint32_t waiting = static_cast<uint32_t>(player->ring.stored) / blockAlign * blockAlign;
    uint32_t copy = waiting < bytes ? waiting : bytes - bytes % blockAlign;
    if (copy != 0) ReadRingBuffer(&player->ring, part, static_cast<int>(copy), 0);
    FillBytes(part + copy, SilenceByteOf(player->format), bytes - copy);
    return copy;
}

// True when the cursor moved from `from` to `to` across `point`, circularly.
bool Passed(int32_t from, int32_t to, int32_t point) {
    if (from <= to) return point > from && point <= to;
    return point > from || point <= to;
}

void FeedPlayer(SoftSoundRecord* player) {
    DWORD play = 0;
    if (SoundBufferGetPosition(&player->slot, &play, nullptr) != 0) return;
    int32_t size = player->bufferBytes;
    int32_t cursor = static_cast<int32_t>(play);
    if (player->dataEnd >= 0 && Passed(player->lastPlayCursor, cursor, player->dataEnd)) {
        player->endPassed = 1;
    }
    player->lastPlayCursor = cursor;
    // The write cursor may run up to the lead ahead of the play cursor.
    int32_t target = (cursor + player->leadBytes) % size;
    int32_t advance = (target - player->writeCursor + size) % size;
    advance -= advance % player->format.nBlockAlign;
    if (advance == 0) return;
    void* part1;
    void* part2;
    DWORD bytes1, bytes2;
    if (SoundBufferLock(&player->slot, static_cast<uint32_t>(player->writeCursor),
                        static_cast<uint32_t>(advance), &part1, &bytes1, &part2, &bytes2) != 0) {
        return;
    }
    uint32_t fed = FeedPart(player, static_cast<uint8_t*>(part1), bytes1);
    if (fed == bytes1 && part2 != nullptr)
        fed += FeedPart(player, static_cast<uint8_t*>(part2), bytes2);
    else if (part2 != nullptr)
        FillBytes(part2, SilenceByteOf(player->format), bytes2);
    SoundBufferUnlock(&player->slot, part1, bytes1, part2, bytes2);
    if (fed < static_cast<uint32_t>(advance)) {
        if (player->dataEnd < 0)
            player->dataEnd = (player->writeCursor + static_cast<int32_t>(fed)) % size;
    } else {
        player->dataEnd = -1;
        player->endPassed = 0;
    }
    player->framesWaiting = player->ring.stored / player->format.nBlockAlign;
    player->writeCursor = (player->writeCursor + advance) % size;
}

}  // namespace

int TerminateSoftSoundRecord(HandleHeader* record) {
    SoftSoundRecord* soft = reinterpret_cast<SoftSoundRecord*>(record);
    if (soft->isPlayer == 0) {
        FreeMemory(soft->playerNode.data);
        return 0;
    }
    SoundBufferStop(&soft->slot);
    SoundBufferRelease(&soft->slot);
    FreeRingBuffer(&soft->ring);
    RemoveHandleNode(&soft->playerNode);
    return 0;
}

int IsSoftSoundPlayer(HandleHeader* record) {
    return reinterpret_cast<SoftSoundRecord*>(record)->isPlayer;
}

int PauseAllSoftSoundPlayers(int32_t pause) {
    if (gSound.setUp == 0) return -1;
    EnterLock(&gSound.softSounds.lock);
    for (HandleNode* node = gSound.playerHead.next; node != &gSound.playerTail; node = node->next) {
        SoftSoundRecord* player = static_cast<SoftSoundRecord*>(node->data);
        if (player->playing == 0 || player->slot.valid == 0) continue;
        if (pause != 0) {
            if (player->systemPauseMark != 0) continue;
            player->systemPauseMark = 1;
            DWORD status = 0;
            if (SoundBufferGetStatus(&player->slot, &status) != 0) {
                player->systemPauseMark = 0;
                continue;
            }
            player->wasPlayingMark = (status & DSBSTATUS_PLAYING) != 0 ? 1 : 0;
            if (player->wasPlayingMark != 0) SoundBufferStop(&player->slot);
        } else {
            if (player->systemPauseMark != 0 && player->wasPlayingMark != 0) {
                SoundBufferPlay(&player->slot, player->slot.loop);
            }
            player->systemPauseMark = 0;
        }
    }
    LeaveLock(&gSound.softSounds.lock);
    return 0;
}

int ProcessSoftSoundPlayers() {
    if (gSound.setUp == 0 || gSound.device == nullptr) return -1;
    EnterLock(&gSound.softSounds.lock);
    for (HandleNode* node = gSound.playerHead.next; node != &gSound.playerTail; node = node->next) {
        SoftSoundRecord* player = static_cast<SoftSoundRecord*>(node->data);
        if (player->playing != 0 && player->slot.valid != 0) FeedPlayer(player);
    }
    LeaveLock(&gSound.softSounds.lock);
    return 0;
}
