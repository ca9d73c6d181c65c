// SNR and input-level bars of the four inputs A to D, with their values
// printed above them. Only the latest sample of each is kept.
#pragma once
#include <QWidget>
#include <cstdint>
#include <vector>

class CStatusGraphs : public QWidget {
    Q_OBJECT
public:
    explicit CStatusGraphs(QWidget* ownerPage, int count = 4);

    // Stores a level (kept within -130..0 dBm); other channels are ignored.
    void SetLevel(float value, int channel);
    // Stores an SNR and sets the threshold from the GetParamIndex results of
    // 1wid, 1mod and 1fec (0xFFFF when unknown).
    void SetSnr(float value, uint32_t bandwidthIndex, uint32_t modulationIndex, uint32_t fecIndex,
                int channel);

    // Forgets the shown SNR values or levels: no bar and "-" for its number
    // until the next sample (a unit that does not answer, polling off).
    void ClearSnr();
    void ClearLevels();
    bool HasLevel(int channel) const { return Valid(hasLevel_, channel); }
    bool HasSnr(int channel) const { return Valid(hasSnr_, channel); }

    int Count() const { return count_; }
    float Level(int channel) const { return levels_.at(static_cast<size_t>(channel)); }
    float Snr(int channel) const { return snrs_.at(static_cast<size_t>(channel)); }
    float Threshold() const { return threshold_; }
    // The current values as words, SNR A to D then level A to D ("SNR A 23.5 dB,
    // ..., Level D no value"): the widget's accessible description and tool tip.
    QString ValuesText() const;

    // What Paint draws for a channel, in the client rectangle of the window.
    struct Bars {
        QRect level;   // empty when the bar has no height
        QRect snr;
        int levelSteps;
        int snrSteps;
        QString levelText;
        QString snrText;
    };
    Bars ComputeBars(int channel, const QRect& client) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Puts ValuesText into the description after each change.
    void ShowValuesText();
    static bool Valid(const std::vector<uint8_t>& flags, int channel) {
        return channel >= 0 && channel < static_cast<int>(flags.size()) && flags[static_cast<size_t>(channel)] != 0;
    }

    int count_;
    std::vector<float> levels_;
    std::vector<float> snrs_;
    // Whether a channel shows a value; before the first sample it shows 0.0.
    std::vector<uint8_t> hasLevel_;
    std::vector<uint8_t> hasSnr_;
    float threshold_;
};
