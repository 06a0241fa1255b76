// Every reader of a DIF frame on arbitrary bytes: the frame check, the
// pack finders, video, timecode, recording date and audio information, and
// the audio extractor (fresh, and with the state a previous frame left).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dv/difpacks.h"
#include "dv/dvaudioextractor.h"
#include "dv/dvrecdate.h"
#include "dv/dvtimecode.h"
#include "dv/dvvideoinfo.h"
#include "fuzz_frames.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!fuzzframes::Init()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes = fuzzframes::Frame(data, size);
    const uint8_t* p = bytes.data();
    const size_t n = bytes.size();

    // A timecode pack and a recording date and time from any four bytes.
    if (size >= 4) {
        for (dv::Standard s : {dv::Standard::PAL, dv::Standard::NTSC}) {
            const auto tc = dv::DecodeTimecodePack(data, s);
            if (!tc) continue;
            (void)dv::TimecodeBcd(*tc);
            // A PAL time that decodes is a frame count the arithmetic gives back.
            if (s == dv::Standard::PAL && !(dv::TimecodeAt(dv::FrameIndexOf(*tc, s), s) == *tc))
                std::abort();
        }
        (void)dv::DecodeRecordingDatePack(data);
        (void)dv::DecodeRecordingTimePack(data);
    }

    dv::Standard standard;
    (void)dv::ReadStandard(p, n, standard);
    const dv::FrameCheck check = dv::CheckFrame(p, n);
    (void)dv::FrameFaultText(check.fault);

    static dv::AudioExtractor carried;  // state left by earlier inputs
    static int16_t pair1[dv::kAudioBufferSamples * 2], pair2[dv::kAudioBufferSamples * 2];
    dv::AudioExtractor fresh;
    for (dv::AudioExtractor* ex : {&fresh, &carried}) {
        const dv::AudioExtraction r = ex->Extract(p, n, pair1, ex == &fresh ? pair2 : nullptr);
        if (r.samples < 0 || r.samples > dv::kAudioBufferSamples) std::abort();
    }

    dv::FrameView view;
    if (!dv::ViewFrame(p, n, view)) return 0;
    dv::DvInfoPacks packs;
    (void)dv::ReadDvInfoPacks(view, packs);
    (void)dv::ReadVideoInfo(view);
    (void)dv::SignalCode(view);
    (void)dv::ReadTimecode(view);
    (void)dv::ReadRecordingDate(view);
    (void)dv::ReadRecordingTime(view);
    const dv::AudioInfo info = dv::ReadAudioInfo(view);
    if (info.ok() && (info.samples < dv::MinSamples(view.standard, info.sampleRate) ||
                      info.samples > dv::MaxSamples(view.standard, info.sampleRate)))
        std::abort();
    return 0;
}
