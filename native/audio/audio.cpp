// Audio device: opens the default OpenAL device and context, looks up the EFX entry points, builds
// the one EAX reverb in its auxiliary slot and the pool of 64 sources that all send to it, and
// closes all of that at shutdown. Module start-up calls initAudio first of all subsystems; quit
// calls closeAudio first. The sound commands live in sources.cpp, sound loading in sounds.cpp.
//
// Failures of the library are logged and start-up goes on, except a device without a usable
// context, which ends start-up with 1 and leaves the pool empty. An EFX entry point that was not
// found is never called: the steps that need it are skipped.
//
// Sections: shared state | error texts | EFX entry points | reverb | start-up | shutdown
#include <AL/efx.h>

#include "audio/core/errortext.h"
#include "audio/state.h"
#include "base/check.h"
#include "base/log.h"

namespace tsm::audio {
// --- shared state -----------------------------------------------------------------------------

ALuint alBuffers[alBufferCount];
SourcePool sourcePool;

namespace {
constexpr const char* checkModule = "audio";

// Effects generated at start-up; only effect 0 is used, as the reverb.
constexpr ALsizei EFFECT_COUNT = 4;
// Distance at which a source plays at its own gain, and beyond which it gets no quieter: sounds
// are positioned around the listener but barely attenuated.
constexpr ALfloat SOURCE_DISTANCE = 200.0f;
// Error texts that may be in use at once in one log line.
constexpr int ERROR_TEXT_SLOTS = 4;

ALuint effects[EFFECT_COUNT];
ALuint effectSlot;

// --- error texts --------------------------------------------------------------------------------

char errorTexts[ERROR_TEXT_SLOTS][ERROR_TEXT_BYTES];
int nextErrorText;

char (&errorScratch())[ERROR_TEXT_BYTES] {
  nextErrorText = (nextErrorText + 1) % ERROR_TEXT_SLOTS;
  return errorTexts[nextErrorText];
}

bool isAlErrorCode(ALenum code) {
  return code == AL_NO_ERROR || code == AL_INVALID_NAME || code == AL_INVALID_ENUM || code == AL_INVALID_VALUE ||
         code == AL_INVALID_OPERATION || code == AL_OUT_OF_MEMORY;
}

bool isAlcErrorCode(ALCenum code) {
  return code == ALC_NO_ERROR || code == ALC_INVALID_DEVICE || code == ALC_INVALID_CONTEXT ||
         code == ALC_INVALID_ENUM || code == ALC_INVALID_VALUE || code == ALC_OUT_OF_MEMORY;
}
}  // namespace

const char* alErrorText(ALenum code) {
  // Asking for a code the library does not name raises a new error, and without a context it gives
  // nothing; both are avoided.
  const char* text = isAlErrorCode(code) && alcGetCurrentContext() ? alGetString(code) : nullptr;
  return errorTextOr(text, "AL", static_cast<uint32_t>(code), errorScratch());
}

const char* alcErrorText(ALCdevice* device, ALCenum code) {
  const char* text = isAlcErrorCode(code) ? alcGetString(device, code) : nullptr;
  return errorTextOr(text, "ALC", static_cast<uint32_t>(code), errorScratch());
}

const char* initAudioErrorText(int result) { return alErrorText(result); }

namespace {
// --- EFX entry points ---------------------------------------------------------------------------

// The 22 entry points of the EFX extension, looked up by name at start-up; null when not found.
struct EfxEntryPoints {
  LPALGENEFFECTS alGenEffects;
  LPALDELETEEFFECTS alDeleteEffects;
  LPALISEFFECT alIsEffect;
  LPALEFFECTI alEffecti;
  LPALEFFECTIV alEffectiv;
  LPALEFFECTF alEffectf;
  LPALEFFECTFV alEffectfv;
  LPALGETEFFECTI alGetEffecti;
  LPALGETEFFECTIV alGetEffectiv;
  LPALGETEFFECTF alGetEffectf;
  LPALGETEFFECTFV alGetEffectfv;
  LPALGENAUXILIARYEFFECTSLOTS alGenAuxiliaryEffectSlots;
  LPALDELETEAUXILIARYEFFECTSLOTS alDeleteAuxiliaryEffectSlots;
  LPALISAUXILIARYEFFECTSLOT alIsAuxiliaryEffectSlot;
  LPALAUXILIARYEFFECTSLOTI alAuxiliaryEffectSloti;
  LPALAUXILIARYEFFECTSLOTIV alAuxiliaryEffectSlotiv;
  LPALAUXILIARYEFFECTSLOTF alAuxiliaryEffectSlotf;
  LPALAUXILIARYEFFECTSLOTFV alAuxiliaryEffectSlotfv;
  LPALGETAUXILIARYEFFECTSLOTI alGetAuxiliaryEffectSloti;
  LPALGETAUXILIARYEFFECTSLOTIV alGetAuxiliaryEffectSlotiv;
  LPALGETAUXILIARYEFFECTSLOTF alGetAuxiliaryEffectSlotf;
  LPALGETAUXILIARYEFFECTSLOTFV alGetAuxiliaryEffectSlotfv;
};

EfxEntryPoints efx;

template <typename Function>
void lookUp(const char* name, Function& entry) {
  entry = reinterpret_cast<Function>(alGetProcAddress(name));
  if (!entry) logError("Error getting proc address: %s\n", name);
}

void lookUpEfx() {
  lookUp("alGenEffects", efx.alGenEffects);
  lookUp("alDeleteEffects", efx.alDeleteEffects);
  lookUp("alIsEffect", efx.alIsEffect);
  lookUp("alEffecti", efx.alEffecti);
  lookUp("alEffectiv", efx.alEffectiv);
  lookUp("alEffectf", efx.alEffectf);
  lookUp("alEffectfv", efx.alEffectfv);
  lookUp("alGetEffecti", efx.alGetEffecti);
  lookUp("alGetEffectiv", efx.alGetEffectiv);
  lookUp("alGetEffectf", efx.alGetEffectf);
  lookUp("alGetEffectfv", efx.alGetEffectfv);
  lookUp("alGenAuxiliaryEffectSlots", efx.alGenAuxiliaryEffectSlots);
  lookUp("alDeleteAuxiliaryEffectSlots", efx.alDeleteAuxiliaryEffectSlots);
  lookUp("alIsAuxiliaryEffectSlot", efx.alIsAuxiliaryEffectSlot);
  lookUp("alAuxiliaryEffectSloti", efx.alAuxiliaryEffectSloti);
  lookUp("alAuxiliaryEffectSlotiv", efx.alAuxiliaryEffectSlotiv);
  lookUp("alAuxiliaryEffectSlotf", efx.alAuxiliaryEffectSlotf);
  lookUp("alAuxiliaryEffectSlotfv", efx.alAuxiliaryEffectSlotfv);
  lookUp("alGetAuxiliaryEffectSloti", efx.alGetAuxiliaryEffectSloti);
  lookUp("alGetAuxiliaryEffectSlotiv", efx.alGetAuxiliaryEffectSlotiv);
  lookUp("alGetAuxiliaryEffectSlotf", efx.alGetAuxiliaryEffectSlotf);
  lookUp("alGetAuxiliaryEffectSlotfv", efx.alGetAuxiliaryEffectSlotfv);
}

// --- reverb -------------------------------------------------------------------------------------

// The reverb's parameters, in the order of the AL_EAXREVERB_* parameters.
struct ReverbProperties {
  ALfloat density;
  ALfloat diffusion;
  ALfloat gain;
  ALfloat gainHF;
  ALfloat gainLF;
  ALfloat decayTime;
  ALfloat decayHFRatio;
  ALfloat decayLFRatio;
  ALfloat reflectionsGain;
  ALfloat reflectionsDelay;
  ALfloat reflectionsPan[3];
  ALfloat lateReverbGain;
  ALfloat lateReverbDelay;
  ALfloat lateReverbPan[3];
  ALfloat echoTime;
  ALfloat echoDepth;
  ALfloat modulationTime;
  ALfloat modulationDepth;
  ALfloat airAbsorptionGainHF;
  ALfloat hfReference;
  ALfloat lfReference;
  ALfloat roomRolloffFactor;
  ALint decayHFLimit;
};

// The one room every sound plays in: a large hall with a long, dark tail.
constexpr ReverbProperties hallReverb = {
    0.4287f, 0.75f, 0.2512f, 0.7079f, 0.631f, 4.24f, 0.51f, 1.31f, 0.1778f, 0.039f, {0.0f, 0.0f, 0.0f},
    1.122f, 0.023f, {0.0f, 0.0f, 0.0f}, 0.231f, 0.07f, 0.25f, 0.0f, 0.9943f, 3762.6f, 362.5f, 0.0f, AL_TRUE,
};

void setReverbFloat(ALuint effect, const char* name, ALenum param, ALfloat value) {
  if (!efx.alEffectf) return;
  efx.alEffectf(effect, param, value);
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) logError("Error setting effect float: %s %s\n", name, alErrorText(error));
}

void setReverbVector(ALuint effect, const char* name, ALenum param, const ALfloat* values) {
  if (!efx.alEffectfv) return;
  efx.alEffectfv(effect, param, values);
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) logError("Error setting effect float vector: %s %s\n", name, alErrorText(error));
}

void setReverbInt(ALuint effect, const char* name, ALenum param, ALint value) {
  if (!efx.alEffecti) return;
  efx.alEffecti(effect, param, value);
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) logError("Error setting effect int: %s %s\n", name, alErrorText(error));
}

#define REVERB_FLOAT(param, field) setReverbFloat(effect, #param, param, properties.field)
#define REVERB_VECTOR(param, field) setReverbVector(effect, #param, param, properties.field)

// Makes `effect` an EAX reverb with `properties`. A type that cannot be set leaves a plain effect.
void initReverb(ALuint effect, const ReverbProperties& properties) {
  alGetEnumValue("AL_EFFECT_EAXREVERB");
  logInfo("Using EAX Reverb\n");
  if (!efx.alEffecti) return;
  efx.alEffecti(effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR) {
    logInfo("Error adding EFX reverb: %s\n", alErrorText(error));
    return;
  }
  REVERB_FLOAT(AL_EAXREVERB_DENSITY, density);
  REVERB_FLOAT(AL_EAXREVERB_DIFFUSION, diffusion);
  REVERB_FLOAT(AL_EAXREVERB_GAIN, gain);
  REVERB_FLOAT(AL_EAXREVERB_GAINHF, gainHF);
  REVERB_FLOAT(AL_EAXREVERB_GAINLF, gainLF);
  REVERB_FLOAT(AL_EAXREVERB_DECAY_TIME, decayTime);
  REVERB_FLOAT(AL_EAXREVERB_DECAY_HFRATIO, decayHFRatio);
  REVERB_FLOAT(AL_EAXREVERB_DECAY_LFRATIO, decayLFRatio);
  REVERB_FLOAT(AL_EAXREVERB_REFLECTIONS_GAIN, reflectionsGain);
  REVERB_FLOAT(AL_EAXREVERB_REFLECTIONS_DELAY, reflectionsDelay);
  REVERB_VECTOR(AL_EAXREVERB_REFLECTIONS_PAN, reflectionsPan);
  REVERB_FLOAT(AL_EAXREVERB_LATE_REVERB_GAIN, lateReverbGain);
  REVERB_FLOAT(AL_EAXREVERB_LATE_REVERB_DELAY, lateReverbDelay);
  REVERB_VECTOR(AL_EAXREVERB_LATE_REVERB_PAN, lateReverbPan);
  REVERB_FLOAT(AL_EAXREVERB_ECHO_TIME, echoTime);
  REVERB_FLOAT(AL_EAXREVERB_ECHO_DEPTH, echoDepth);
  REVERB_FLOAT(AL_EAXREVERB_MODULATION_TIME, modulationTime);
  REVERB_FLOAT(AL_EAXREVERB_MODULATION_DEPTH, modulationDepth);
  REVERB_FLOAT(AL_EAXREVERB_AIR_ABSORPTION_GAINHF, airAbsorptionGainHF);
  REVERB_FLOAT(AL_EAXREVERB_HFREFERENCE, hfReference);
  REVERB_FLOAT(AL_EAXREVERB_LFREFERENCE, lfReference);
  REVERB_FLOAT(AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, roomRolloffFactor);
  setReverbInt(effect, "AL_EAXREVERB_DECAY_HFLIMIT", AL_EAXREVERB_DECAY_HFLIMIT, properties.decayHFLimit);
}

#undef REVERB_FLOAT
#undef REVERB_VECTOR

// --- start-up -----------------------------------------------------------------------------------

// Checks the device's error state after a limit query; logs the failure with the query's line.
bool alcFailed(ALCdevice* device, int line) {
  const ALCenum error = alcGetError(device);
  if (error == ALC_NO_ERROR) return false;
  logInfo("ALC Error: %s (0x%x), @ %d\n", alcErrorText(device, error), static_cast<unsigned>(error), line);
  return true;
}

void logDeviceLimits(ALCdevice* device) {
  ALCint major = 0, minor = 0, sends = 0, monoSources = 0, stereoSources = 0;
  alcGetIntegerv(device, ALC_EFX_MAJOR_VERSION, 1, &major);
  alcGetIntegerv(device, ALC_EFX_MINOR_VERSION, 1, &minor);
  if (!alcFailed(device, __LINE__)) logInfo("EFX version: %d.%d\n", major, minor);
  alcGetIntegerv(device, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
  if (!alcFailed(device, __LINE__)) logInfo("Max auxiliary sends: %d\n", sends);
  alcGetIntegerv(device, ALC_MONO_SOURCES, 1, &monoSources);
  if (!alcFailed(device, __LINE__)) logInfo("Max mono sources: %d\n", monoSources);
  alcGetIntegerv(device, ALC_STEREO_SOURCES, 1, &stereoSources);
  if (!alcFailed(device, __LINE__)) logInfo("Max stereo sources: %d\n", stereoSources);
}

// Logs an AL error raised since the last check with `format`; true when there was one.
bool alFailed(const char* format) {
  const ALenum error = alGetError();
  if (error == AL_NO_ERROR) return false;
  logError(format, alErrorText(error));
  return true;
}
}  // namespace

int initAudio() {
  ALCdevice* device = alcOpenDevice(nullptr);
  if (!device) logError("Got null device\n");
  // The device's own error state: nothing is current yet, so the AL state would only say "no context".
  ALCenum alcError = alcGetError(device);
  if (alcError != ALC_NO_ERROR) logError("Got error opening device: %s\n", alcErrorText(device, alcError));

  ALCcontext* context = alcCreateContext(device, nullptr);
  alcError = alcGetError(device);
  if (alcError != ALC_NO_ERROR) logError("Got error creating context: %s\n", alcErrorText(device, alcError));

  if (!context || !alcMakeContextCurrent(context)) {
    if (context) alcDestroyContext(context);
    if (device) alcCloseDevice(device);
    logError("Could not set a context!\n");
    return 1;
  }

  const ALCchar* name = nullptr;
  if (alcIsExtensionPresent(device, "ALC_ENUMERATE_ALL_EXT")) name = alcGetString(device, ALC_ALL_DEVICES_SPECIFIER);
  logDeviceLimits(device);
  if (!name || alcGetError(device) != ALC_NO_ERROR) name = alcGetString(device, ALC_DEVICE_SPECIFIER);
  logInfo("Opened \"%s\"\n", name ? name : "");

  lookUpEfx();
  alFailed("Got error... somewhere: %s\n");
  if (!alcIsExtensionPresent(device, "ALC_EXT_EFX")) {
    if (!alFailed("Got error checking extension ALC_EXT_EFX: %s\n")) logError("Error: EFX not supported\n");
  }

  if (efx.alGenEffects) {
    efx.alGenEffects(EFFECT_COUNT, effects);
    alFailed("Got error generating effects: %s\n");
  }
  if (efx.alGenAuxiliaryEffectSlots) {
    efx.alGenAuxiliaryEffectSlots(1, &effectSlot);
    alFailed("Failed to generate auxiliary effect slots: %s\n");
  }
  initReverb(effects[0], hallReverb);
  if (effects[0] != 0) {
    if (efx.alAuxiliaryEffectSloti) {
      efx.alAuxiliaryEffectSloti(effectSlot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(effects[0]));
      alFailed("Failed to set reverb effect slot: %s\n");
    }
  } else {
    logError("Error making reverb: %s\n", alErrorText(alGetError()));
  }

  ALuint sources[SOURCE_COUNT] = {};
  alGenSources(SOURCE_COUNT, sources);
  const bool noSources = alFailed("Got error generating sources: %s\n");
  if (!noSources) {
    for (ALuint source : sources) {
      alSource3i(source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(effectSlot), 0, AL_FILTER_NULL);
      alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
      alSourcef(source, AL_MAX_DISTANCE, SOURCE_DISTANCE);
      alSourcef(source, AL_REFERENCE_DISTANCE, SOURCE_DISTANCE);
    }
    // The initial state is not checked (a device with no auxiliary send refuses the send); its
    // errors are dropped here so that no later check reports them as its own.
    alGetError();
  }
  fillPool(sourcePool, sources);
  return 0;
}

// --- shutdown -----------------------------------------------------------------------------------

void closeAudio() {
  logInfo("Closing OpenAL\n");
  ALCcontext* context = alcGetCurrentContext();
  if (context) {
    closeMusic();
    alDeleteBuffers(alBufferCount, alBuffers);
    alDeleteSources(static_cast<ALsizei>(sourcePool.playingCount), sourcePool.playingSources);
    alDeleteSources(static_cast<ALsizei>(sourcePool.freeCount), sourcePool.freeSources);
    if (efx.alDeleteAuxiliaryEffectSlots) efx.alDeleteAuxiliaryEffectSlots(1, &effectSlot);
    if (efx.alDeleteEffects) efx.alDeleteEffects(EFFECT_COUNT, effects);
    ALCdevice* device = alcGetContextsDevice(context);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
  }
  // Nothing is re-opened: later commands find no source and no sound.
  emptyPool(sourcePool);
  for (ALuint& buffer : alBuffers) buffer = 0;
  effectSlot = 0;
  for (ALuint& effect : effects) effect = 0;
}
}  // namespace tsm::audio
