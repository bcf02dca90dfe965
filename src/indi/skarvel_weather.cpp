// indi_skarvel_weather: the running monitor as an INDI weather device. It asks the monitor's
// server for its state document once per update; what it makes of the answer is in
// weather_report.cpp.
#include <libindi/indilogger.h>
#include <libindi/indiweather.h>

#include <cstring>
#include <memory>
#include <optional>

#include "indi/http_get.h"
#include "indi/weather_report.h"

namespace skarvel::indi {

namespace {

using namespace std::chrono_literals;

constexpr const char* kSafety = "WEATHER_SAFETY";
constexpr const char* kSky = "WEATHER_SKY_TEMPERATURE";
constexpr const char* kAmbient = "WEATHER_TEMPERATURE";
constexpr const char* kCover = "WEATHER_CLOUD_COVER";
/// Well inside the default update period, so a stuck monitor is seen at the update that asks.
constexpr auto kTimeout = 5s;

class SkarvelWeather : public INDI::Weather {
  public:
    SkarvelWeather() {
        setVersion(SKARVEL_VERSION_MAJOR, SKARVEL_VERSION_MINOR);
        setWeatherConnection(CONNECTION_NONE);
    }

    const char* getDefaultName() override { return "Skarvel"; }

    bool initProperties() override {
        INDI::Weather::initProperties();
        UpdatePeriodNP[0].setValue(10);
        urlTP_[0].fill("URL", "URL", "http://localhost:11111");
        urlTP_.fill(getDeviceName(), "MONITOR_URL", "Monitor", OPTIONS_TAB, IP_RW, 60, IPS_IDLE);
        staleNP_[0].fill("SECONDS", "Stale after (s)", "%.f", 10, 86400, 10, 120);
        staleNP_.fill(getDeviceName(), "MONITOR_STALE", "Monitor", OPTIONS_TAB, IP_RW, 60,
                      IPS_IDLE);
        // Named as INDI's weather safety proxy names its own, for setups that read it.
        reasonTP_[0].fill("Reasons", "Reasons", "");
        reasonTP_.fill(getDeviceName(), "WEATHER_SAFETY_REASONS", "Safety", MAIN_CONTROL_TAB, IP_RO,
                       60, IPS_IDLE);
        addParameter(kSafety, "Safe (1) or unsafe (0)", 0.9, 1.1, 0);
        setCriticalParameter(kSafety);
        addParameter(kSky, "Sky (C)", -100, 100, 0);
        addParameter(kAmbient, "Temperature (C)", -100, 100, 0);
        addDebugControl();
        return true;
    }

    void ISGetProperties(const char* dev) override {
        INDI::Weather::ISGetProperties(dev);
        defineProperty(urlTP_);
        defineProperty(staleNP_);
        if (!configLoaded_) {
            loadConfig(true, urlTP_.getName());
            loadConfig(true, staleNP_.getName());
            configLoaded_ = true;
        }
    }

    bool updateProperties() override {
        // Defined first: connecting updates at once.
        if (isConnected())
            defineProperty(reasonTP_);
        else
            deleteProperty(reasonTP_.getName());
        return INDI::Weather::updateProperties();
    }

    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                   int n) override {
        if (dev && !std::strcmp(dev, getDeviceName()) && urlTP_.isNameMatch(name)) {
            const char* url = "";
            for (int i = 0; i < n; ++i)
                if (!std::strcmp(names[i], "URL")) url = texts[i];
            if (!stateAddress(url)) {
                urlTP_.setState(IPS_ALERT);
                urlTP_.apply("The monitor's URL is http://host:port, its server's address");
                return true;
            }
            urlTP_.update(texts, names, n);
            urlTP_.setState(IPS_OK);
            urlTP_.apply();
            saveConfig(true, urlTP_.getName());
            if (isConnected()) checkWeatherUpdate();
            return true;
        }
        return INDI::Weather::ISNewText(dev, name, texts, names, n);
    }

    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                     int n) override {
        if (dev && !std::strcmp(dev, getDeviceName()) && staleNP_.isNameMatch(name)) {
            staleNP_.update(values, names, n);
            staleNP_.setState(IPS_OK);
            staleNP_.apply();
            saveConfig(true, staleNP_.getName());
            return true;
        }
        return INDI::Weather::ISNewNumber(dev, name, values, names, n);
    }

  protected:
    bool Connect() override {
        LOGF_INFO("Asking %s for the sky", urlTP_[0].getText());
        return true;
    }
    bool Disconnect() override { return true; }

    IPState updateWeather() override {
        const std::string url = urlTP_[0].getText();
        const auto address = stateAddress(url);
        std::string error = "the URL is not http://host:port";
        const std::string response = address ? httpGet(*address, kTimeout, error) : "";
        const auto now =
            std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
        const WeatherReport report =
            weatherReport(response, error, now, int(staleNP_[0].getValue()));
        if (report.cloudCover && !haveCover_) addCover();
        setParameterValue(kSafety, report.safe ? 1 : 0);
        if (report.sky) setParameterValue(kSky, *report.sky);
        if (report.ambient) setParameterValue(kAmbient, *report.ambient);
        if (report.cloudCover) setParameterValue(kCover, *report.cloudCover);
        if (report.reason != reasonTP_[0].getText() || report.safe != lastSafe_) {
            reasonTP_[0].setText(report.reason);
            reasonTP_.setState(report.safe ? IPS_OK : IPS_ALERT);
            reasonTP_.apply();
            if (report.safe != lastSafe_)
                LOGF_INFO("%s: %s", report.safe ? "Safe" : "Unsafe", report.reason.c_str());
            lastSafe_ = report.safe;
        }
        // OK even when the monitor did not answer: only then does the base class light the
        // safety's Alert and keep its period.
        return IPS_OK;
    }

    bool saveConfigItems(FILE* fp) override {
        INDI::Weather::saveConfigItems(fp);
        urlTP_.save(fp);
        staleNP_.save(fp);
        return true;
    }

  private:
    /// The cover appears once the monitor has learned it. The base class moves its parameters in
    /// memory when it adds one, so the ones shown are withdrawn first and shown again after.
    void addCover() {
        const bool shown = isConnected();
        if (shown) {
            deleteProperty(ParametersNP.name);
            for (int i = 0; i < nRanges; ++i) deleteProperty(ParametersRangeNP[i].name);
        }
        addParameter(kCover, "Cloud cover (%)", 0, 100, 0);
        if (shown) {
            defineProperty(&ParametersNP);
            for (int i = 0; i < nRanges; ++i) defineProperty(&ParametersRangeNP[i]);
            loadConfig(true, kCover);
        }
        haveCover_ = true;
    }

    INDI::PropertyText urlTP_{1};
    INDI::PropertyNumber staleNP_{1};
    INDI::PropertyText reasonTP_{1};
    bool configLoaded_ = false;
    bool haveCover_ = false;
    /// Unknown before the first update.
    std::optional<bool> lastSafe_;
};

const std::unique_ptr<SkarvelWeather> driver = std::make_unique<SkarvelWeather>();

}  // namespace

}  // namespace skarvel::indi
