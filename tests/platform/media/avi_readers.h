// What the public readers make of an AVI file: ffprobe, GStreamer's AVI
// demuxer and mediainfo, each compared with what the file's indexes say.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

#include "avi_snapshot.h"
#include "avi_test_support.h"

namespace avitest {

// What GStreamer's AVI demuxer gives for the file's video: buffers and the
// duration (s) of its segment; {-1, -1} when GStreamer is not there.
inline std::pair<long, double> GstVideo(const fs::path& file, bool audioToo) {
    if (RunCommand("command -v gst-launch-1.0 >/dev/null 2>&1").exitCode != 0) return {-1, -1};
    const std::string audio = audioToo ? " d.audio_0 ! queue ! fakesink name=a" : "";
    CommandResult r = RunCommand("gst-launch-1.0 filesrc location=" + Quote(file) +
                                 " ! avidemux name=d d.video_0 ! queue ! fakesink name=v "
                                 "silent=false -v" +
                                 audio + " 2>&1");
    long buffers = 0;
    double seconds = -1;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("GstFakeSink:v: last-message = chain") != std::string::npos) ++buffers;
        const size_t duration = line.find("duration=(guint64)");
        if (line.find("GstFakeSink:v: last-message = event") != std::string::npos &&
            line.find("type: segment") != std::string::npos && duration != std::string::npos)
            seconds = std::atof(line.c_str() + duration + 18) / 1e9;
    }
    return {buffers, seconds};
}

// mediainfo's frame count and duration (ms) of the first video stream.
inline std::pair<long, long> MediaInfoVideo(const fs::path& file) {
    if (RunCommand("command -v mediainfo >/dev/null 2>&1").exitCode != 0) return {-1, -1};
    CommandResult r = RunCommand("mediainfo --Inform='Video;%FrameCount% %Duration%' " +
                                 Quote(file) + " 2>/dev/null");
    long frames = -1;
    double ms = -1;
    std::sscanf(r.out.c_str(), "%ld %lf", &frames, &ms);
    return {frames, long(ms + 0.5)};
}

// Every reader takes the frames the indexes of `s` reach (PAL), with the
// matching durations. ffmpeg reads on past the index (into chunks after the
// last checkpoint) but takes the header's figures; counting its packets
// reads the whole file, so it is asked for.
inline void CheckReaders(const fs::path& out, const Snapshot& s, AviType type, bool countPackets) {
    const std::string frames = std::to_string(s.frames);
    const double seconds = s.frames * 0.04;
    if (countPackets) {
        EXPECT_GE(CountVideoPackets(out), long(s.frames));
    }
    auto format = Probe(out, "format=duration");
    EXPECT_NEAR(std::atof(format["duration"].c_str()), seconds, 0.001) << "ffprobe";
    std::string ffprobeFrames = "-";
    if (type == AviType::Type2) {
        auto video = Probe(out, "stream=nb_frames,duration");
        EXPECT_EQ(video["nb_frames"], frames) << "ffprobe";
        EXPECT_NEAR(std::atof(video["duration"].c_str()), seconds, 0.001) << "ffprobe";
        auto audio = Probe(out, "stream=nb_frames", "a:0");
        EXPECT_EQ(audio["nb_frames"], std::to_string(s.audioSamples)) << "ffprobe samples";
        EXPECT_EQ(s.audioSamples, s.frames * 1920);
        ffprobeFrames = video["nb_frames"];
    }
    const auto [gstBuffers, gstSeconds] = GstVideo(out, type == AviType::Type2);
    if (gstBuffers >= 0) {
        EXPECT_EQ(gstBuffers, long(s.frames)) << "GStreamer's avidemux";
        EXPECT_NEAR(gstSeconds, seconds, 0.001) << "GStreamer's avidemux";
    }
    const auto [miFrames, miMs] = MediaInfoVideo(out);
    if (miFrames >= 0) {
        EXPECT_EQ(miFrames, long(s.frames)) << "mediainfo";
        EXPECT_NEAR(miMs, long(seconds * 1000), 1) << "mediainfo";
    }
    std::printf(
        "indexed %llu frames in %u RIFF parts; ffprobe %s frames %s s; GStreamer %ld "
        "frames %.3f s; mediainfo %ld frames %ld ms\n",
        static_cast<unsigned long long>(s.frames), s.parts, ffprobeFrames.c_str(),
        format["duration"].c_str(), gstBuffers, gstSeconds, miFrames, miMs);
}

}  // namespace avitest
