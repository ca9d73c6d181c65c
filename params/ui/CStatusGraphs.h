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
    // Puts ValuesText into the description after each sample.
    void ShowValuesText();

    int count_;
    std::vector<float> levels_;
    std::vector<float> snrs_;
    float threshold_;
    // Whether a channel has had a sample (a series without one reads "no value").
    std::vector<bool> hasLevel_;
    std::vector<bool> hasSnr_;
};
