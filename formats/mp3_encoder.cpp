// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/mp3_encoder.h"

#include <QCoreApplication>
#include <QFile>
#include <sndfile.h>
#include <vector>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("Mp3Encoder", text); }

struct SoundFile {
    SNDFILE* file = nullptr;
    ~SoundFile() {
        if (file) sf_close(file);
    }
};

}  // namespace

bool encodeMp3(const QString& input, const QString& output, QString& error) {
    SF_INFO inInfo{};
    SoundFile in{sf_open(QFile::encodeName(input).constData(), SFM_READ, &inInfo)};
    if (!in.file) {
        error = tr("Could not read '%1': %2").arg(input, QString::fromUtf8(sf_strerror(nullptr)));
        return false;
    }
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    if (!sf_format_check(&outInfo)) {
        error = tr("'%1' cannot be turned into MP3 (%2 channels at %3 Hz)").arg(input).arg(inInfo.channels).arg(inInfo.samplerate);
        return false;
    }
    SoundFile out{sf_open(QFile::encodeName(output).constData(), SFM_WRITE, &outInfo)};
    if (!out.file) {
        error = tr("Could not write '%1': %2").arg(output, QString::fromUtf8(sf_strerror(nullptr)));
        return false;
    }
    // A variable bit rate of good quality for speech and music.
    double quality = 0.3;
    sf_command(out.file, SFC_SET_BITRATE_MODE, nullptr, 0);
    sf_command(out.file, SFC_SET_COMPRESSION_LEVEL, &quality, sizeof quality);
    std::vector<float> block(size_t(4096) * size_t(inInfo.channels));
    sf_count_t got;
    while ((got = sf_readf_float(in.file, block.data(), 4096)) > 0) {
        if (sf_writef_float(out.file, block.data(), got) != got) {
            error = tr("Could not write '%1': %2").arg(output, QString::fromUtf8(sf_strerror(out.file)));
            return false;
        }
    }
    return true;
}
