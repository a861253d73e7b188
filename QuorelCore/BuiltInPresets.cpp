#include "BuiltInPresets.h"

#include <utility>

namespace quorel::BuiltInPresets {

namespace {

using Points = std::vector<std::pair<float, float>>;

struct Row {
    const char* id;
    PresetCategory category;
    const char* symbol;
    const char* name;
    const char* summary;
    float highPassHz, loudness, limiterReleaseMS, limiterCeilingDB, driveAmount, bassHarmonics;
    Points points;
};

std::vector<SoundPreset> build()
{
    using C = PresetCategory;
    const std::vector<Row> rows{
        {"builtin.neutral", C::tone, "circle.dashed", "Neutro",
         "Sem equalização. Ponto de partida para comparar.",
         0, 0, 80, -1, 0, 0, {}},
        {"builtin.movies", C::use, "film", "Filmes",
         "Graves com peso, diálogos claros e um pouco de ar. Loudness moderado para cenas baixas.",
         0, 0.4f, 80, -1, 0, 0.3f,
         {{30, 2}, {60, 3}, {100, 2}, {200, 0}, {500, -1}, {1000, 0}, {2000, 2}, {3150, 2.5f},
          {5000, 1}, {8000, 1}, {12500, 1.5f}, {20000, 1}}},
        {"builtin.movies-night", C::use, "moon.stars", "Filmes à noite",
         "Explosões contidas, diálogos à frente e menos graves para não incomodar.",
         80, 0.85f, 80, -1, 0, 0,
         {{30, -6}, {60, -4}, {100, -2}, {160, 0}, {1000, 1}, {2000, 3}, {3150, 3}, {5000, 2},
          {8000, 0}, {12500, -1}, {20000, -2}}},
        {"builtin.games", C::use, "gamecontroller", "Jogos",
         "Impacto nos graves e detalhes de 2 a 8 kHz para ambiente e efeitos.",
         0, 0.5f, 80, -1, 0, 0.3f,
         {{30, 2}, {60, 3}, {100, 2}, {200, -1}, {315, -2}, {500, -1}, {1000, 0}, {2000, 3},
          {3150, 4}, {5000, 3}, {6300, 2}, {8000, 2}, {12500, 1}, {20000, 0}}},
        {"builtin.games-footsteps", C::use, "figure.walk", "Jogos · passos",
         "Competitivo: corta o ronco, destaca passos e recargas entre 2 e 8 kHz.",
         100, 0.55f, 80, -1, 0, 0,
         {{30, -6}, {80, -3}, {125, -3}, {200, -2}, {400, 0}, {1000, 2}, {2000, 4}, {3150, 5},
          {5000, 5}, {6300, 3}, {8000, 3}, {12500, 1}, {20000, 0}}},
        {"builtin.voice", C::use, "waveform.and.mic", "Voz e diálogos",
         "Podcasts, notícias e audiolivros: menos lama, mais inteligibilidade, sibilância controlada.",
         100, 0.6f, 80, -1, 0, 0,
         {{30, -8}, {80, -4}, {125, -3}, {200, -2}, {400, 0}, {1000, 2}, {2000, 3}, {3150, 4},
          {5000, 3}, {6300, 2}, {8000, 0}, {12500, -2}, {20000, -4}}},
        {"builtin.video-call", C::use, "video", "Videochamada",
         "Vozes de reunião mais presentes e menos ásperas, com nivelamento forte.",
         120, 0.7f, 80, -1, 0, 0,
         {{30, -8}, {100, -4}, {200, -1}, {500, 0}, {1000, 3}, {2000, 3}, {3150, 3}, {5000, 1},
          {6300, -2}, {8000, -2}, {12500, -3}, {20000, -4}}},
        {"builtin.max-volume", C::use, "speaker.wave.3.fill", "Volume máximo",
         "Tudo o que rende volume: corte de graves para liberar o limiter, presença nos médios, "
         "Loudness e limiter no limite.",
         100, 1, 20, -0.3f, 0.6f, 0.35f,
         {{20, -6}, {40, -3}, {63, -1}, {100, 0}, {315, 0}, {1000, 1}, {2000, 2}, {3150, 2},
          {5000, 1}, {8000, 0}, {12500, -1}, {20000, -3}}},
        {"builtin.music", C::music, "music.note", "Música",
         "Curva equilibrada: graves firmes, médios limpos, agudos abertos.",
         0, 0.25f, 80, -1, 0, 0,
         {{30, 2}, {50, 3}, {80, 3}, {125, 1.5f}, {250, 0}, {400, -1}, {630, -1}, {1000, 0},
          {2500, 1}, {5000, 1.5f}, {8000, 2.5f}, {12500, 2.5f}, {20000, 1.5f}}},
        {"builtin.pop", C::music, "sparkles", "Pop",
         "Vocais à frente, brilho e punch nos graves médios.",
         0, 0.35f, 80, -1, 0, 0,
         {{30, -1}, {50, 0}, {100, 2}, {160, 2}, {315, 0}, {630, -1}, {1000, 1}, {2000, 2},
          {3150, 3}, {5000, 3}, {8000, 2}, {12500, 2}, {20000, 1}}},
        {"builtin.rock", C::music, "guitars", "Rock",
         "Graves e guitarras com corpo, médios-graves limpos, pratos definidos.",
         0, 0.3f, 80, -1, 0, 0,
         {{30, 2}, {60, 3}, {100, 3}, {160, 1}, {250, -2}, {400, -2}, {630, -1}, {1000, 0},
          {2000, 2}, {3150, 2}, {5000, 3}, {8000, 3}, {12500, 2}, {20000, 1}}},
        {"builtin.electronic", C::music, "waveform.path.ecg", "Eletrônica",
         "Sub-graves fortes e agudos brilhantes, médios recuados.",
         0, 0.4f, 80, -1, 0, 0.3f,
         {{30, 4}, {40, 5}, {63, 5}, {100, 3}, {160, 1}, {315, 0}, {500, -1}, {1000, 0},
          {2000, 1}, {4000, 2}, {8000, 3}, {12500, 3}, {20000, 2}}},
        {"builtin.hiphop", C::music, "headphones", "Hip-hop",
         "Graves profundos e vocal presente.",
         0, 0.3f, 80, -1, 0, 0.35f,
         {{30, 5}, {40, 6}, {63, 6}, {80, 6}, {125, 3}, {200, 1}, {400, -1}, {630, -1},
          {1000, 0}, {2000, 1}, {3150, 2}, {5000, 1}, {8000, 1}, {12500, 0}, {20000, 0}}},
        {"builtin.jazz", C::music, "pianokeys", "Jazz e acústico",
         "Calor nos graves, médios naturais, agudos suaves. Dinâmica preservada.",
         0, 0.15f, 80, -1, 0, 0,
         {{30, 1}, {63, 2}, {100, 2}, {160, 1}, {250, -1}, {500, 0}, {1000, 1}, {2000, 1},
          {4000, 2}, {6300, 2}, {8000, 1.5f}, {12500, 1.5f}, {20000, 1}}},
        {"builtin.classical", C::music, "music.quarternote.3", "Clássica",
         "Leve realce de ar e de graves, quase sem compressão para manter a dinâmica.",
         0, 0.2f, 80, -1, 0, 0,
         {{30, 1}, {50, 1.5f}, {100, 1}, {200, -1}, {400, -1}, {1000, 0}, {2000, 0.5f},
          {3150, 1}, {5000, 1.5f}, {8000, 2.5f}, {12500, 2.5f}, {20000, 1.5f}}},
        {"builtin.macbook-speakers", C::device, "laptopcomputer", "Alto-falantes do notebook",
         "Corta graves que os alto-falantes não reproduzem, devolve corpo em 160–250 Hz e "
         "presença em 2–4 kHz.",
         100, 0.45f, 80, -1, 0, 0.6f,
         {{30, -10}, {63, -6}, {100, -2}, {160, 1.5f}, {250, 1.5f}, {400, 0}, {1000, 0},
          {2000, 1}, {2500, 2}, {3150, 2}, {4000, 2}, {6300, 1}, {8000, 1}, {12500, 0},
          {20000, -1}}},
        {"builtin.headphones", C::device, "earbuds", "Fones de ouvido",
         "Toque de graves e de ar, compressão leve.",
         0, 0.15f, 80, -1, 0, 0,
         {{30, 2}, {40, 2}, {63, 2}, {100, 1}, {250, -1}, {500, 0}, {1000, 0}, {3150, 1},
          {6300, 0}, {10000, 1.5f}, {16000, 1}, {20000, 0}}},
        {"builtin.bass-boost", C::tone, "speaker.wave.2", "Mais graves",
         "Reforço de graves até 160 Hz.",
         0, 0.2f, 80, -1, 0, 0.4f,
         {{20, 5}, {40, 6}, {63, 6}, {100, 4}, {160, 2}, {250, 0}, {500, 0}, {20000, 0}}},
        {"builtin.bass-cut", C::tone, "speaker.wave.1", "Menos graves",
         "Reduz graves e ronco. Bom à noite ou em ambientes com eco.",
         80, 0, 80, -1, 0, 0,
         {{20, -8}, {40, -8}, {63, -6}, {100, -4}, {160, -2}, {250, 0}, {20000, 0}}},
        {"builtin.treble-boost", C::tone, "sun.max", "Mais agudos",
         "Mais brilho e definição acima de 3 kHz.",
         0, 0, 80, -1, 0, 0,
         {{20, 0}, {1000, 0}, {2000, 1}, {3150, 2}, {5000, 3}, {8000, 4}, {12500, 4}, {16000, 4},
          {20000, 3}}},
        {"builtin.treble-cut", C::tone, "sun.min", "Menos agudos",
         "Suaviza agudos ásperos e reduz cansaço auditivo.",
         0, 0, 80, -1, 0, 0,
         {{20, 0}, {2000, 0}, {3150, -1}, {5000, -3}, {8000, -4}, {12500, -5}, {16000, -6},
          {20000, -6}}},
        {"builtin.loudness-curve", C::tone, "ear", "Loudness",
         "Compensa a audição em volume baixo (curva de igual sonoridade): mais graves e agudos.",
         0, 0.3f, 80, -1, 0, 0,
         {{20, 4}, {40, 5}, {63, 4}, {100, 3}, {160, 1}, {315, 0}, {1000, 0}, {2000, 0},
          {3150, -1}, {5000, 0}, {8000, 2}, {12500, 3}, {16000, 3}, {20000, 2}}},
    };

    std::vector<SoundPreset> presets;
    presets.reserve(rows.size());
    for (const Row& row : rows) {
        presets.push_back(SoundPreset{
            QString::fromUtf8(row.id), QString::fromUtf8(row.name), row.category,
            QString::fromUtf8(row.symbol), QString::fromUtf8(row.summary),
            SoundPreset::curve(row.points), row.highPassHz, row.loudness, row.limiterReleaseMS,
            row.limiterCeilingDB, row.driveAmount, row.bassHarmonics});
    }
    return presets;
}

}  // namespace

const std::vector<SoundPreset>& all()
{
    static const std::vector<SoundPreset> presets = build();
    return presets;
}

const SoundPreset& neutral()
{
    for (const SoundPreset& preset : all())
        if (preset.id == QLatin1String(neutralID)) return preset;
    return all().front();
}

const QStringList& featuredIDs()
{
    static const QStringList ids{"builtin.neutral", "builtin.movies", "builtin.music",
                                 "builtin.games", "builtin.voice", "builtin.max-volume"};
    return ids;
}

std::optional<SoundPreset> preset(const QString& id)
{
    for (const SoundPreset& preset : all())
        if (preset.id == id) return preset;
    return std::nullopt;
}

}  // namespace quorel::BuiltInPresets
