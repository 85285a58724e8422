#pragma once
// Points ALSA's default device at a raw file, so a test reads back the
// samples of every tone exactly as they reached the device.
#include "Sound.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <vector>

// The null slave takes the samples at once; the file plugin keeps a copy.
inline constexpr const char* kFileDevice =
    "pcm.!default { type plug; slave { pcm \"capture_to_file\"; format S16_LE; channels 1; rate 8000 } }\n"
    "pcm.capture_to_file { type file; slave.pcm { type null }; file \"@RAW@\"; format \"raw\" }\n";
// A card that does not exist.
inline constexpr const char* kMissingDevice = "pcm.!default { type hw; card \"nosuchcard\" }\n";

// Points ALSA's default device at a file for the life of the object. ALSA
// reads the configuration path when a device is opened, so this must exist
// before OpenTone.
class ToneCapture {
public:
    explicit ToneCapture(const char* deviceConfig)
    {
        rawPath_ = dir_.filePath("tone.raw");
        const QString configPath = dir_.filePath("asound.conf");
        QFile config(configPath);
        if (config.open(QIODevice::WriteOnly))
            config.write(QByteArray(deviceConfig).replace("@RAW@", rawPath_.toLocal8Bit()));
        previous_ = qgetenv("ALSA_CONFIG_PATH");
        hadPrevious_ = qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
        qputenv("ALSA_CONFIG_PATH", configPath.toLocal8Bit());
    }
    ~ToneCapture()
    {
        CloseTone();
        if (hadPrevious_)
            qputenv("ALSA_CONFIG_PATH", previous_);
        else
            qunsetenv("ALSA_CONFIG_PATH");
    }
    // The samples written so far; the file device flushes when the stream closes.
    std::vector<int16_t> Samples() const
    {
        QFile raw(rawPath_);
        if (!raw.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = raw.readAll();
        std::vector<int16_t> samples(size_t(bytes.size()) / 2);
        if (!samples.empty())
            std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    QTemporaryDir dir_;
    QString rawPath_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};
