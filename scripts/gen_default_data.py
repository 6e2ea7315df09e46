#!/usr/bin/env python3
"""Writes the installation data under data/: the default profiles, the
built-in effect lists, the language list and language files, and the default
copies of the user files. The generated JSON is the truth; rerun after editing
this script and review the diff."""
import json
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Factory key codes of the keyboard's UI positions 0..125 (profiles/keyboard_layout.h).
KEYBOARD_CODES = """
200029 20003A 20003B 20003C 20003D 20003E 20003F 200040 200041 200042
200043 200044 200045 200046 200047 200048 A01B00 309201 30E200 30EA00
30E900 200035 20001E 20001F 200020 200021 200022 200023 200024 200025
200026 200027 20002D 20002E 20002A 200049 20004A 20004B 200053 200054
200055 200056 20002B 200014 20001A 200008 200015 200017 20001C 200018
20000C 200012 200013 20002F 200030 200031 20004C 20004D 20004E 20005F
200060 200061 200032 200039 200004 200016 200007 200009 20000A 20000B
20000D 20000E 20000F 200033 200034 200028 20005C 20005D 20005E 20008A
20008B 200090 200091 200088 200200 20001D 20001B 200006 200019 200005
200011 200010 200036 200037 200038 202000 200052 200059 20005A 20005B
200087 200089 200064 200085 200000 200100 200800 200400 20002C 204000
A00100 200065 201000 200050 200051 20004F 200062 200063 200058 200057
D0A201 D0A202 D0A203 D0A204 D0A205 208000
""".split()
assert len(KEYBOARD_CODES) == 126
KEYBOARD_CODES = [int(c, 16) for c in KEYBOARD_CODES] + [0x200000] * 44
MOUSE_CODES = [0x100100, 0x100200, 0x100400, 0x101000, 0x100800, 0x130100, 0x130200, 0x130300,
               0xA01B00, 0x169001, 0x147802]


def light_info(select, red=255, green=0, blue=0, sens=0):
    return {"SelectItem": select, "Light": 4, "Speed": 2, "Fx": 0, "MultiColor": 1,
            "Red": red, "Green": green, "Blue": blue, "ZZCCLedMode": 0, "CustomGroup": 0,
            "OldLedmode": 0, "byVoiceLedmodeSwith": 0, "byVoiceLedmode": 0,
            "byVoiceSensitivity": sens}


def key_list(codes):
    return [{"Assignment": c, "FnAssignment": c, "DefaultAssignment": c} for c in codes]


def profile(device):
    return {"Device": [device]}


keyboard = profile({
    "LightInfo": light_info(1, sens=20),
    "AudioLightInfo": {"AudioMode": 0, "BkColorR": 0, "BkColorG": 0, "BkColorB": 0,
                       "FgColorR": 255, "FgColorG": 0, "FgColorB": 0,
                       "7ColorFlags": 1, "ColorTypeFlags": 0},
    # No per-key custom effects: a null entry is an unused LED.
    "LightList": [None] * 170,
    "KeyList": key_list(KEYBOARD_CODES),
    "SystemStages": {"Repeat": 0, "RepeatDelay": 1, "Key6Flag": 0, "PollingRate": 0,
                     "WFlag": 0, "WinFlag": 0},
    "FnKeysetFlag": False,
    "CustomLightMode": {"LightColorInfo": [], "CustomLightModeGroupIndex": 0},
})

STAGE_COLOURS = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255)]
STAGE_STEPS = [7, 15, 23, 31, 63]
mouse = profile({
    "LightInfo": light_info(0),
    "LightList": [None] * 15,
    "KeyList": key_list(MOUSE_CODES),
    "DPIStages": {"StageActive": 1, "StageDPIs": [
        {"StageActive": 1, "StageXY": 0, "StageDPIX": s, "StageDPIY": s,
         "StageColorR": c[0], "StageColorG": c[1], "StageColorB": c[2]}
        for s, c in zip(STAGE_STEPS, STAGE_COLOURS)]},
    "SystemStages": {"DoubleClickTime": 500, "MouseSpeed": 10, "PointerPrecision": 1,
                     "ScorllPage": 0, "WheelScorlllinse": 3},
    "ReportStages": {"StageActive": 3},
    "CorrectInfo": [
        {"CorrectName": "Cloth pad", "CorrectPixThresh": 20, "CorrectMinSq": 32, "CorrectSelect": 1},
        {"CorrectName": "Hard pad", "CorrectPixThresh": 16, "CorrectMinSq": 24, "CorrectSelect": 0},
        {"CorrectName": "Glass", "CorrectPixThresh": 12, "CorrectMinSq": 16, "CorrectSelect": 0},
    ],
})

mousepad = profile({"LightInfo": light_info(0), "LightList": [None] * 15})

# Built-in equaliser presets by slot, bands 0..9 (slot 0 is unused: type 0
# reads slot 1; type 13 is the user's own curve).
EQ_PRESETS = [
    [0] * 10,
    [7, 11, 2, -3, -1, 4, 9, 12, 9, 5],         # 1
    [7, 11, 6, -3, -11, -1, 6, 13, 6, 13],      # 2
    [10, 4, 0, -3, -4, -3, -2, -1, 0, 0],       # 3
    [2, 1, -2, -3, -5, -7, 0, 4, 9, 8],         # 4
    [0, 0, 0, 0, 0, 0, 0, 0, 0, 0],             # 5 flat
    [7, 14, -13, -6, -1, 8, 13, 7, 2, 6],       # 6
    [14, 10, 4, 0, -4, -3, -1, 1, 2, 3],        # 7
    [2, 1, -2, -3, -5, -1, 7, 11, 15, 13],      # 8
    [8, 2, -4, -8, 1, 3, 8, 11, 14, 16],        # 9
    [-3, 4, 10, 0, -11, 3, 9, 13, 6, 0],        # 10
    [18, 14, 8, 2, -3, -6, -1, 2, 5, 6],        # 11
    [2, 1, -2, -4, -8, 4, 12, 16, 18, 15],      # 12
]
headset = profile({
    "LightInfo": light_info(0),
    "LightList": [None] * 13,
    "SystemSetStages": {"MagicEnable": 0, "MagicType": 0, "EqType": 1, "CustomEqSeletIndex": 0,
                        "MicInSelect": 1, "MicInValue": 80, "MicMoniterSelect": 0,
                        "MicMoniterValue": 50},
    "EQHzValueInfo": [[{"value": v} for v in p] for p in EQ_PRESETS],
    "CustomEQNameInfo": [],
    "CustomEQHzValueInfo": [],
})

# Built-in keyboard effects: the position is the mode index of the keyboard's
# preview and the value is what the keyboard stores; for this keyboard both are
# the same. Positions the preview plays from the user's effect lists (0, 22-24,
# 28, 31) and the externally driven mode 30 are not offered in the list.
KB_EFFECTS = ["light_mode_user", "light_mode_wave", "light_mode_vertical_wave",
              "light_mode_order_wave", "light_mode_spectrum", "light_mode_breathing",
              "light_mode_static", "light_mode_reactive", "light_mode_reactive_hue",
              "light_mode_ripple_wave", "light_mode_starlight", "light_mode_hue_rotate",
              "light_mode_row_rainbow", "light_mode_corner_wave", "light_mode_firework",
              "light_mode_twinkle", "light_mode_side_wave", "light_mode_static_cycle",
              "light_mode_ring", "light_mode_rain", "light_mode_custom", "light_mode_off",
              "light_mode_reserved_22", "light_mode_reserved_23", "light_mode_reserved_24",
              "light_mode_ripple", "light_mode_breathing_four", "light_mode_blink_four",
              "light_mode_reserved_28", "light_mode_music", "light_mode_external",
              "light_mode_reserved_31", "light_mode_running", "light_mode_rainbow_field",
              "light_mode_blink"]
KB_HIDDEN = {0, 22, 23, 24, 28, 30, 31}
MOUSE_EFFECTS = ["light_mode_wave", "light_mode_spectrum", "light_mode_breathing",
                 "light_mode_static", "light_mode_blink", "light_mode_flow",
                 "light_mode_reactive", "light_mode_breathing_four", "light_mode_blink_four",
                 "light_mode_user", "light_mode_off", "light_mode_music"]
# Effect 9 plays the user's effect lists; 11 is the mouse's music mode.
MOUSE_HIDDEN = {9}
PAD_EFFECTS = ["light_mode_wave", "light_mode_spectrum", "light_mode_breathing",
               "light_mode_static", "light_mode_blink", "light_mode_user", "light_mode_flow",
               "light_mode_group_flow", "light_mode_off"]
PAD_HIDDEN = {5}


def effects(names, hidden):
    return [{"LightName": n, "visible": i not in hidden, "value": i} for i, n in enumerate(names)]


default_light = {
    "DefaultLightName": [effects(KB_EFFECTS, KB_HIDDEN), effects(MOUSE_EFFECTS, MOUSE_HIDDEN),
                         effects(PAD_EFFECTS, PAD_HIDDEN), effects(PAD_EFFECTS, PAD_HIDDEN)],
    "AreaLightName": [[{"LightName": "light_area_all"}, {"LightName": "light_area_wasd"},
                       {"LightName": "light_area_function"}, {"LightName": "light_area_numpad"}],
                      [{"LightName": "light_area_all"}, {"LightName": "light_area_logo"}],
                      [{"LightName": "light_area_all"}],
                      [{"LightName": "light_area_all"}]],
}

PRESET_SWATCHES = ["FFFF0000", "FFFF8000", "FFFFFF00", "FF80FF00", "FF00FF00", "FF00FF80",
                   "FF00FFFF", "FF0080FF", "FF0000FF", "FF8000FF", "FFFF00FF", "FFFF0080",
                   "FFFFFFFF", "FFC0C0C0", "FF808080", "FF404040", "FF800000", "FF008000",
                   "FF000080", "FF000000"]
palette = {"coloroptioninfo": {
    "palletDialogcoloroption": [{"color": c} for c in PRESET_SWATCHES],
    "palletDialogcoloroption_selectitem": 0,
    "palletDialogcollectcoloroption": [{"color": "FFFFFFFF", "UserData": ""} for _ in range(20)],
    "palletDialogcollectcoloroption_selectitem": 0,
}}

# The four audio styles: R, G, B levels 0..9 each (the music window's sliders).
AUDIO_LEVELS = [(9, 0, 0), (0, 9, 0), (0, 0, 9), (9, 9, 9)]
audio_info = {"nAudioStyle": 0}
# Names are text ids: they follow the language until the user gives their own.
audio_info.update({"nStyleName%d" % (i + 1): "audio_style_name_%d" % (i + 1) for i in range(4)})
for i, (r, g, b) in enumerate(AUDIO_LEVELS):
    audio_info.update({"nStyleR%d" % i: r, "nStyleG%d" % i: g, "nStyleB%d" % i: b})
audio = {"Device": {"AudioLightInfo": audio_info}}


def shoot(pull):
    """30 bullets: left click, recoil move down by `pull` pixels, a short pause."""
    ev = []
    for b in range(30):
        y = min(pull + b // 5, 127)
        ev += [{"Action": "down", "Button": 1, "Delay": 10, "Type": 1},
               {"Action": "up", "Button": 1, "Delay": 0, "Type": 1},
               {"Action": "up", "Button": 0, "Delay": 5, "Type": 4},
               {"Action": "up", "Button": y, "Delay": 90, "Type": 5},
               {"Action": "up", "Button": 0, "Delay": 0, "Type": 4},
               {"Action": "up", "Button": 0, "Delay": 0, "Type": 5}]
    return {"Events": ev}


def dump(path, value):
    with open(path, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=3, ensure_ascii=False)
        f.write("\n")


# --- language files: text ID -> (English, Deutsch, Français) ---

TEXTS = {
    "language_english": ("English", "English", "English"),
    "language_german": ("Deutsch", "Deutsch", "Deutsch"),
    "language_french": ("Français", "Français", "Français"),
    "software_rev_text": ("Software version", "Softwareversion", "Version du logiciel"),
    "Update_Status_text": ("Update status", "Aktualisierung", "Mise à jour"),
    "update_status_text": ("You have the latest version", "Sie haben die neueste Version", "Vous avez la dernière version"),
    "message_text_2": ("A key of the current profile uses this macro. Delete it anyway?", "Eine Taste des aktuellen Profils verwendet dieses Makro. Trotzdem löschen?", "Une touche du profil actuel utilise cette macro. La supprimer quand même ?"),
    "message_text_4": ("Delete this macro?", "Dieses Makro löschen?", "Supprimer cette macro ?"),
    "message_text_5": ("This name is already in use.", "Dieser Name ist bereits vergeben.", "Ce nom est déjà utilisé."),
    "message_text_6": ("The left button cannot be reassigned: no other button would click.", "Die linke Taste kann nicht neu belegt werden: sonst klickt keine Taste mehr.", "Le bouton gauche ne peut pas être réaffecté : plus aucun bouton ne cliquerait."),
    "message_text_7": ("The device has no memory for macros.", "Das Gerät hat keinen Speicher für Makros.", "Le périphérique n'a pas de mémoire pour les macros."),
    "message_text_16": ("The macros do not fit into the device's memory (%d events too many).", "Die Makros passen nicht in den Gerätespeicher (%d Ereignisse zu viel).", "Les macros ne tiennent pas dans la mémoire du périphérique (%d événements de trop)."),
    "message_text_22": ("Restore the default settings?", "Standardeinstellungen wiederherstellen?", "Restaurer les paramètres par défaut ?"),
    "message_text_25": ("The profile name is empty.", "Der Profilname ist leer.", "Le nom du profil est vide."),
    "message_text_26": ("Copy this profile?", "Dieses Profil kopieren?", "Copier ce profil ?"),
    "message_text_27": ("Add a new profile?", "Ein neues Profil anlegen?", "Ajouter un nouveau profil ?"),
    "message_text_28": ("Add a new macro?", "Ein neues Makro anlegen?", "Ajouter une nouvelle macro ?"),
    "message_text_29": ("Delete this profile?", "Dieses Profil löschen?", "Supprimer ce profil ?"),
    "close_text": ("Disabled", "Deaktiviert", "Désactivée"),
    "Key_Set": ("Assigned: ", "Belegung: ", "Affectation : "),
    "Light_Set": ("Lighting", "Beleuchtung", "Éclairage"),
    "Overall_Light_Set": ("Whole device: ", "Ganzes Gerät: ", "Tout le périphérique : "),
    "Repeat_Delay_Time": ("Repeat delay: ", "Wiederholverzögerung: ", "Délai de répétition : "),
    "Repeat_input_text": ("Type here to test the repeat rate", "Hier tippen, um die Wiederholrate zu testen", "Tapez ici pour tester la vitesse de répétition"),
    "Logo": ("Logo", "Logo", "Logo"),
    "kb_device_name_text": ("Keyboard", "Tastatur", "Clavier"),
    "ms_device_name_text": ("Mouse", "Maus", "Souris"),
    "hard_mp_device_name_text": ("Mousepad", "Mauspad", "Tapis de souris"),
    "soft_mp_device_name_text": ("Mousepad", "Mauspad", "Tapis de souris"),
    "hd_device_name_text": ("Headset", "Headset", "Casque"),
    "hub_device_name_text": ("Hub", "Hub", "Hub"),
    "unknow_device_name_text": ("Unknown device", "Unbekanntes Gerät", "Périphérique inconnu"),
    "light_set_anticlockwise_text": ("Anticlockwise", "Gegen den Uhrzeigersinn", "Sens antihoraire"),
    "light_set_clockwise_text": ("Clockwise", "Im Uhrzeigersinn", "Sens horaire"),
    "light_set_down_to_up_text": ("Bottom to top", "Von unten nach oben", "De bas en haut"),
    "light_set_up_to_down_text": ("Top to bottom", "Von oben nach unten", "De haut en bas"),
    "light_set_left_to_right_text": ("Left to right", "Von links nach rechts", "De gauche à droite"),
    "light_set_right_to_left_text": ("Right to left", "Von rechts nach links", "De droite à gauche"),
    "light_set_inside_to_outside_text": ("Inside out", "Von innen nach außen", "Du centre vers l'extérieur"),
    "light_set_outside_to_inside_text": ("Outside in", "Von außen nach innen", "De l'extérieur vers le centre"),
    "media_text": ("Media", "Medien", "Multimédia"),
    "web_text": ("Web", "Internet", "Internet"),
    "win_key_text": ("Windows key", "Windows-Taste", "Touche Windows"),
    "mouse_cursor_text": ("Cursor", "Zeiger", "Curseur"),
    "mouse_move_to_up_text": ("Move up", "Nach oben", "Vers le haut"),
    "mouse_move_to_down_text": ("Move down", "Nach unten", "Vers le bas"),
    "mouse_move_to_left_text": ("Move left", "Nach links", "Vers la gauche"),
    "mouse_move_to_right_text": ("Move right", "Nach rechts", "Vers la droite"),
    "mouse_key_left": ("Left button", "Linke Taste", "Bouton gauche"),
    "mouse_key_right": ("Right button", "Rechte Taste", "Bouton droit"),
    "mouse_key_middle": ("Middle button", "Mittlere Taste", "Bouton central"),
    "mouse_key_back": ("Back", "Zurück", "Précédent"),
    "mouse_key_forward": ("Forward", "Vorwärts", "Suivant"),
    "mouse_key_DPI_add": ("DPI up", "DPI höher", "DPI +"),
    "mouse_key_DPI_sub": ("DPI down", "DPI niedriger", "DPI -"),
    "mouse_key_DPI_loop": ("DPI cycle", "DPI-Zyklus", "Cycle DPI"),
    "mouse_key_DPI_shift": ("DPI shift", "DPI-Umschaltung", "Décalage DPI"),
    "mouse_key_fire_key": ("Fire key", "Feuertaste", "Touche de tir"),
    "mouse_key_shortcut_key": ("Shortcut", "Tastenkürzel", "Raccourci"),
    "mouse_key_smart_key": ("Smart key", "Intelligente Taste", "Touche intelligente"),
    "mouse_key_up_Swing": ("Wheel up", "Rad hoch", "Molette haut"),
    "mouse_key_down_Swing": ("Wheel down", "Rad runter", "Molette bas"),
    "mouse_key_left_Swing": ("Wheel left", "Rad links", "Molette gauche"),
    "mouse_key_right_Swing": ("Wheel right", "Rad rechts", "Molette droite"),
    "media_calc": ("Calculator", "Rechner", "Calculatrice"),
    "media_mail": ("Mail", "E-Mail", "Courriel"),
    "media_mute": ("Mute", "Stumm", "Muet"),
    "media_mypc": ("My computer", "Arbeitsplatz", "Poste de travail"),
    "media_next": ("Next track", "Nächster Titel", "Piste suivante"),
    "media_play": ("Play/Pause", "Wiedergabe/Pause", "Lecture/Pause"),
    "media_prev": ("Previous track", "Vorheriger Titel", "Piste précédente"),
    "media_stop": ("Stop", "Stopp", "Arrêt"),
    "media_vol_add": ("Volume up", "Lauter", "Volume +"),
    "media_vol_sub": ("Volume down", "Leiser", "Volume -"),
    "com_key_nothing": ("None", "Keine", "Aucune"),
    "light_mode_user": ("My effects", "Eigene Effekte", "Mes effets"),
    "light_mode_wave": ("Wave", "Welle", "Vague"),
    "light_mode_vertical_wave": ("Vertical wave", "Vertikale Welle", "Vague verticale"),
    "light_mode_order_wave": ("Snake", "Schlange", "Serpent"),
    "light_mode_spectrum": ("Spectrum", "Spektrum", "Spectre"),
    "light_mode_breathing": ("Breathing", "Atmen", "Respiration"),
    "light_mode_static": ("Static", "Statisch", "Fixe"),
    "light_mode_reactive": ("Reactive", "Reaktiv", "Réactif"),
    "light_mode_reactive_hue": ("Reactive colours", "Reaktive Farben", "Couleurs réactives"),
    "light_mode_ripple_wave": ("Shock wave", "Druckwelle", "Onde de choc"),
    "light_mode_starlight": ("Starlight", "Sternenlicht", "Étoiles"),
    "light_mode_hue_rotate": ("Colour cycle", "Farbwechsel", "Cycle de couleurs"),
    "light_mode_row_rainbow": ("Rainbow rows", "Regenbogenreihen", "Rangées arc-en-ciel"),
    "light_mode_corner_wave": ("Corner waves", "Eckwellen", "Vagues des coins"),
    "light_mode_firework": ("Firework", "Feuerwerk", "Feu d'artifice"),
    "light_mode_twinkle": ("Twinkle", "Funkeln", "Scintillement"),
    "light_mode_side_wave": ("Side waves", "Seitenwellen", "Vagues latérales"),
    "light_mode_static_cycle": ("Colour preset", "Farbvorgabe", "Couleur prédéfinie"),
    "light_mode_ring": ("Rings", "Ringe", "Anneaux"),
    "light_mode_rain": ("Rain", "Regen", "Pluie"),
    "light_mode_custom": ("Custom", "Benutzerdefiniert", "Personnalisé"),
    "light_mode_off": ("Off", "Aus", "Éteint"),
    "light_mode_reserved_22": ("Effect 22", "Effekt 22", "Effet 22"),
    "light_mode_reserved_23": ("Effect 23", "Effekt 23", "Effet 23"),
    "light_mode_reserved_24": ("Effect 24", "Effekt 24", "Effet 24"),
    "light_mode_ripple": ("Ripple", "Kräuseln", "Ondulation"),
    "light_mode_breathing_four": ("Four-colour breathing", "Vierfarbiges Atmen", "Respiration quatre couleurs"),
    "light_mode_blink_four": ("Four-colour blink", "Vierfarbiges Blinken", "Clignotement quatre couleurs"),
    "light_mode_reserved_28": ("Effect 28", "Effekt 28", "Effet 28"),
    "light_mode_music": ("Music", "Musik", "Musique"),
    "light_mode_external": ("Game lighting", "Spielbeleuchtung", "Éclairage de jeu"),
    "light_mode_reserved_31": ("Effect 31", "Effekt 31", "Effet 31"),
    "light_mode_running": ("Running light", "Lauflicht", "Chenillard"),
    "light_mode_rainbow_field": ("Rainbow field", "Regenbogenfeld", "Champ arc-en-ciel"),
    "light_mode_blink": ("Blink", "Blinken", "Clignotement"),
    "light_mode_flow": ("Flow", "Fließen", "Flux"),
    "light_mode_group_flow": ("Group flow", "Gruppenfluss", "Flux par groupe"),
    "light_area_all": ("Whole device", "Ganzes Gerät", "Tout le périphérique"),
    "light_area_wasd": ("WASD", "WASD", "WASD"),
    "light_area_function": ("Function keys", "Funktionstasten", "Touches de fonction"),
    "light_area_numpad": ("Number pad", "Ziffernblock", "Pavé numérique"),
    "light_area_logo": ("Logo", "Logo", "Logo"),
    "control_light_status_tip": ("Let this program drive the lighting of your devices, or leave it to them", "Die Beleuchtung der Geräte von diesem Programm steuern lassen oder den Geräten überlassen", "Laisser ce programme piloter l'éclairage des appareils, ou le leur laisser"),
    "device_select_next_tip": ("Next device", "Nächstes Gerät", "Appareil suivant"),
    "device_select_prev_tip": ("Previous device", "Vorheriges Gerät", "Appareil précédent"),
    "main_close_tip": ("Hide to the tray", "In den Infobereich", "Masquer dans la zone de notification"),
    "main_min_tip": ("Minimise", "Minimieren", "Réduire"),
    "main_settings": ("Settings", "Einstellungen", "Paramètres"),
    "main_settings_tip": ("Language, updates and more", "Sprache, Updates und mehr", "Langue, mises à jour et plus"),
    "main_status_ready": ("Ready", "Bereit", "Prêt"),
    "device_notice_no_answer": ("The device does not answer: this page may not show what it holds",
                                "Das Gerät antwortet nicht: Diese Seite zeigt womöglich nicht, was es gespeichert hat",
                                "L'appareil ne répond pas : cette page peut ne pas montrer ce qu'il contient"),
    "device_notice_refused": ("The device refused a command: its settings may differ from this page",
                              "Das Gerät hat einen Befehl abgelehnt: Seine Einstellungen können von dieser Seite abweichen",
                              "L'appareil a refusé une commande : ses réglages peuvent différer de cette page"),
    "main_title": ("KORVALE TX730max", "KORVALE TX730max", "KORVALE TX730max"),
    "menu_about": ("About", "Über", "À propos"),
    "tray_battery": ("battery %d %", "Akku %d %", "batterie %d %"),
    "tray_notifications": ("Notifications", "Benachrichtigungen", "Notifications"),
    "notify_battery_low": ("Battery low: %d %", "Akku schwach: %d %", "Batterie faible : %d %"),
    "notify_no_answer": ("Does not answer", "Antwortet nicht", "Ne répond pas"),
    "notify_connected": ("Connected", "Verbunden", "Connecté"),
    "tray_charging": ("(charging)", "(lädt)", "(en charge)"),
    "menu_exit": ("Exit", "Beenden", "Quitter"),
    "menu_settings": ("Settings", "Einstellungen", "Paramètres"),
    "no_device_hide": ("Hide to tray", "In den Infobereich", "Masquer"),
    "no_device_hide_tip": ("The window comes back when a device is plugged in", "Das Fenster erscheint wieder, sobald ein Gerät angeschlossen wird", "La fenêtre revient dès qu'un appareil est branché"),
    "no_device_denied_hint": ("Permission denied on %s: install data/udev/70-korvale.rules, then plug the device in again.", "Zugriff auf %s verweigert: data/udev/70-korvale.rules installieren und das Gerät neu anstecken.", "Accès refusé à %s : installez data/udev/70-korvale.rules, puis rebranchez le périphérique."),
    "no_device_denied_title": ("A device is connected but may not be opened", "Ein Gerät ist angeschlossen, darf aber nicht geöffnet werden", "Un périphérique est branché mais ne peut pas être ouvert"),
    "no_device_hint": ("Plug in a KORVALE keyboard, mouse, mousepad or headset.", "Schließen Sie eine Tastatur, eine Maus, ein Mauspad oder ein Headset von KORVALE an.", "Branchez un clavier, une souris, un tapis ou un casque KORVALE."),
    "no_device_title": ("No device connected", "Kein Gerät verbunden", "Aucun appareil connecté"),
    "不控制灯光": ("Lighting: released", "Beleuchtung: freigegeben", "Éclairage : libéré"),
    "控制灯光": ("Lighting: controlled", "Beleuchtung: gesteuert", "Éclairage : piloté"),
    # Tiles name their product by its product key.
    "keyboard": ("Keyboard", "Tastatur", "Clavier"),
    "mouse": ("Mouse", "Maus", "Souris"),
    "MousePad": ("Mousepad", "Mauspad", "Tapis de souris"),
    "HD": ("Headset", "Headset", "Casque"),
    "synchro_device_select_tip": ("Take part in synchronised lighting", "An der gemeinsamen Beleuchtung teilnehmen", "Participer à l'éclairage synchronisé"),
    "device_wuxian_logo_tip": ("Connected through the receiver", "Über den Empfänger verbunden", "Connecté par le récepteur"),
    "Phone_type_no_device": ("No phone on the pad", "Kein Telefon auf dem Pad", "Aucun téléphone sur le tapis"),
    "Phone_type_iphone": ("iPhone charging", "iPhone wird geladen", "iPhone en charge"),
    "Phone_type_samsung": ("Samsung phone charging", "Samsung-Telefon wird geladen", "Téléphone Samsung en charge"),
    "Phone_type_other": ("Phone charging", "Telefon wird geladen", "Téléphone en charge"),
    # Keyboard page
    "tab_lighting": ("Lighting", "Beleuchtung", "Éclairage"),
    "tab_keys": ("Keys", "Tasten", "Touches"),
    "tab_system": ("System", "Allgemein", "Système"),
    "tab_audio": ("Audio", "Klang", "Son"),
    "tab_voice_effects": ("Voice effects", "Stimmeffekte", "Effets de voix"),
    "tab_macros": ("Macros", "Makros", "Macros"),
    "tab_cursor": ("Buttons", "Tasten", "Boutons"),
    "tab_voice": ("Sound", "Klang", "Son"),
    "tab_magic": ("Voice effects", "Stimmeffekte", "Effets de voix"),
    "tab_virtual71": ("Virtual 7.1", "Virtuelles 7.1", "7.1 virtuel"),
    "virtual71_note": ("Virtual 7.1 surround has no settings in this program.",
                       "Virtuelles 7.1 hat in diesem Programm keine Einstellungen.",
                       "Le son 7.1 virtuel n'a pas de réglage dans ce programme."),
    "profile_label": ("Profile", "Profil", "Profil"),
    "profile_rename": ("Rename", "Umbenennen", "Renommer"),
    "profile_rename_tip": ("Give the profile the name in the box", "Dem Profil den Namen im Feld geben", "Donner au profil le nom saisi"),
    "profile_menu": ("Manage", "Verwalten", "Gérer"),
    "profile_menu_tip": ("Show or hide the profile commands", "Profilbefehle ein- oder ausblenden", "Afficher ou masquer les commandes de profil"),
    "profile_add": ("New", "Neu", "Nouveau"),
    "profile_delete": ("Delete", "Löschen", "Supprimer"),
    "profile_copy": ("Copy", "Kopieren", "Copier"),
    "profile_import": ("Import", "Importieren", "Importer"),
    "profile_export": ("Export", "Exportieren", "Exporter"),
    "profile_reset": ("Reset", "Zurücksetzen", "Réinitialiser"),
    "profile_error_too_many": ("No more profiles can be added: 50 is the most.", "Es können keine Profile mehr angelegt werden: höchstens 50.", "Impossible d'ajouter d'autres profils : 50 au maximum."),
    "profile_error_last": ("The last profile cannot be deleted.", "Das letzte Profil kann nicht gelöscht werden.", "Le dernier profil ne peut pas être supprimé."),
    "profile_error_missing": ("This profile no longer exists.", "Dieses Profil gibt es nicht mehr.", "Ce profil n'existe plus."),
    "profile_error_not_profile": ("This file is not a profile.", "Diese Datei ist kein Profil.", "Ce fichier n'est pas un profil."),
    "profile_error_wrong_device": ("This file is a profile of another device.", "Diese Datei ist das Profil eines anderen Geräts.", "Ce fichier est le profil d'un autre périphérique."),
    "profile_error_bad_uuid": ("The profile list names a file outside the profile folder; it was not used.", "Die Profilliste nennt eine Datei außerhalb des Profilordners; sie wurde nicht verwendet.", "La liste des profils désigne un fichier hors du dossier des profils ; il n'a pas été utilisé."),
    "profile_error_missing_file": ("The profile's file is missing or unreadable.", "Die Datei des Profils fehlt oder ist unlesbar.", "Le fichier du profil est absent ou illisible."),
    "profile_error_write": ("A file could not be written; nothing was changed.", "Eine Datei konnte nicht geschrieben werden; nichts wurde geändert.", "Un fichier n'a pas pu être écrit ; rien n'a été modifié."),
    "file_filter_profile": ("Profile files", "Profildateien", "Fichiers de profil"),
    "message_title": ("Notice", "Hinweis", "Information"),
    "message_confirm": ("Confirm", "Bestätigen", "Confirmer"),
    "message_cancel": ("Cancel", "Abbrechen", "Annuler"),
    "system_polling_rate": ("Polling rate", "Abfragerate", "Taux d'interrogation"),
    "polling_rate_125": ("125 Hz", "125 Hz", "125 Hz"),
    "polling_rate_250": ("250 Hz", "250 Hz", "250 Hz"),
    "polling_rate_500": ("500 Hz", "500 Hz", "500 Hz"),
    "polling_rate_1000": ("1000 Hz", "1000 Hz", "1000 Hz"),
    "polling_rate_2000": ("2000 Hz", "2000 Hz", "2000 Hz"),
    "system_repeat_delay": ("Repeat delay", "Verzögerung", "Délai de répétition"),
    "system_repeat_rate": ("Repeat rate", "Wiederholrate", "Vitesse de répétition"),
    "system_wasd_arrows": ("WASD as arrows", "WASD als Pfeile", "WASD en flèches"),
    "system_6kro": ("6KRO", "6KRO", "6KRO"),
    "system_sound_sensitivity": ("Sound sensitivity", "Klangempfindlichkeit", "Sensibilité au son"),
    # Lighting editor
    "light_effect_label": ("Effect", "Effekt", "Effet"),
    "light_variant_label": ("Variant", "Variante", "Variante"),
    "light_variant_1": ("Variant 1", "Variante 1", "Variante 1"),
    "light_variant_2": ("Variant 2", "Variante 2", "Variante 2"),
    "light_variant_3": ("Variant 3", "Variante 3", "Variante 3"),
    "light_variant_4": ("Variant 4", "Variante 4", "Variante 4"),
    "light_custom_1": ("Custom 1", "Eigene 1", "Perso 1"),
    "light_custom_2": ("Custom 2", "Eigene 2", "Perso 2"),
    "light_custom_3": ("Custom 3", "Eigene 3", "Perso 3"),
    "light_custom_4": ("Custom 4", "Eigene 4", "Perso 4"),
    "light_custom_5": ("Custom 5", "Eigene 5", "Perso 5"),
    "light_custom_all_on": ("All on", "Alle an", "Tout allumer"),
    "light_custom_all_off": ("All off", "Alle aus", "Tout éteindre"),
    "light_music_mode_label": ("Music mode", "Musikmodus", "Mode musique"),
    "audio_mode_columns": ("Columns", "Säulen", "Colonnes"),
    "audio_mode_split_columns": ("Split columns", "Geteilte Säulen", "Colonnes séparées"),
    "audio_mode_beat_waves": ("Beat waves", "Taktwellen", "Vagues au rythme"),
    "audio_mode_rings": ("Rings", "Ringe", "Anneaux"),
    "audio_mode_peak_hold": ("Peak hold", "Spitzen halten", "Crêtes maintenues"),
    "audio_mode_bands": ("Bands", "Bänder", "Bandes"),
    "audio_mode_alternating_bands": ("Alternating bands", "Wechselnde Bänder", "Bandes alternées"),
    "light_brightness_label": ("Brightness", "Helligkeit", "Luminosité"),
    "light_speed_label": ("Speed", "Tempo", "Vitesse"),
    "light_direction_label": ("Direction", "Richtung", "Sens"),
    "light_colour_wheel": ("Colour wheel", "Farbrad", "Roue chromatique"),
    "light_all_devices": ("All devices", "Alle Geräte", "Tous les appareils"),
    "light_audio_background": ("Background", "Hintergrund", "Arrière-plan"),
    "light_audio_foreground": ("Foreground", "Vordergrund", "Premier plan"),
    "colour_red_short": ("R", "R", "R"),
    "colour_green_short": ("G", "G", "V"),
    "colour_blue_short": ("B", "B", "B"),
    "audio_style_name_1": ("Style 1", "Stil 1", "Thème 1"), "audio_style_name_2": ("Style 2", "Stil 2", "Thème 2"),
    "audio_style_name_3": ("Style 3", "Stil 3", "Thème 3"), "audio_style_name_4": ("Style 4", "Stil 4", "Thème 4"),
    "music_settings": ("Music styles", "Musikstile", "Styles musicaux"),
    "music_title": ("Music lighting styles", "Stile der Musikbeleuchtung", "Styles d'éclairage musical"),
    "music_red": ("Red", "Rot", "Rouge"), "music_green": ("Green", "Grün", "Vert"), "music_blue": ("Blue", "Blau", "Bleu"),
    "music_names": ("Style names", "Namen der Stile", "Noms des styles"),
    "music_ok": ("OK", "Übernehmen", "Valider"), "music_close": ("Close", "Schließen", "Fermer"),
    "music_levels": ("Music colour", "Musikfarbe", "Couleur musicale"),
    "audio_no_sound_server": ("No sound server: music lighting is off", "Kein Soundserver: Musikbeleuchtung ist aus",
                              "Aucun serveur de son : éclairage musical désactivé"),
    "audio_companion_missing": ("korvale-audio could not be started: music lighting is off",
                                "korvale-audio ließ sich nicht starten: Musikbeleuchtung ist aus",
                                "korvale-audio n'a pas pu démarrer : éclairage musical désactivé"),
    # the mouse page
    "mouse_tab_buttons": ("Buttons and lights", "Tasten und Licht", "Boutons et lumières"),
    "mouse_tab_dpi": ("Resolution", "Auflösung", "Résolution"),
    "mouse_tab_system": ("Settings", "Einstellungen", "Réglages"),
    "mouse_fn_lighting": ("Lighting", "Beleuchtung", "Éclairage"),
    "mouse_fn_buttons": ("Button assignment", "Tastenbelegung", "Affectation des boutons"),
    "mouse_fn_macros": ("Macros", "Makros", "Macros"),
    "mouse_fn_shoot": ("Recoil", "Rückstoß", "Recul"),
    "mouse_dpi_title": ("Resolution stages", "Auflösungsstufen", "Paliers de résolution"),
    "mouse_dpi_enable": ("On", "Ein", "Actif"),
    "mouse_dpi_colour": ("Colour", "Farbe", "Couleur"),
    "mouse_report_rate": ("Report rate", "Abfragerate", "Taux de rapport"),
    "mouse_pointer_speed": ("Pointer speed", "Zeigergeschwindigkeit", "Vitesse du pointeur"),
    "mouse_pointer_precision": ("Enhance pointer precision", "Zeigerpräzision verbessern", "Améliorer la précision du pointeur"),
    "mouse_scroll_lines": ("Lines per scroll", "Zeilen pro Bildlauf", "Lignes par défilement"),
    "mouse_scroll_page": ("One page at a time", "Seitenweise", "Une page à la fois"),
    "mouse_double_click": ("Double-click speed", "Doppelklickgeschwindigkeit", "Vitesse du double-clic"),
    "mouse_profile_only": ("Stored in the profile; the desktop's own settings stay as they are.", "Im Profil gespeichert; die Einstellungen des Desktops bleiben unverändert.", "Enregistré dans le profil ; les réglages du bureau restent inchangés."),
    "mouse_button_list": ("Assignments", "Belegungen", "Affectations"),
    "mouse_cap_left": ("L", "L", "G"),
    "mouse_cap_right": ("R", "R", "D"),
    "mouse_cap_middle": ("M", "M", "M"),
    "mouse_cap_fire": ("F", "F", "T"),
    "logo": ("Logo", "Logo", "Logo"),
}

# Settings, update, skin and about windows
TEXTS.update({
    "device_default": ("Restore defaults", "Standard laden", "Par défaut"),
    "device_default_tip": ("The current profile takes the factory settings", "Das aktuelle Profil erhält die Werkseinstellungen", "Le profil actuel reprend les réglages d'usine"),
    "main_skin": ("Skin", "Design", "Thème"),
    "main_skin_tip": ("Background of this window", "Hintergrund dieses Fensters", "Arrière-plan de cette fenêtre"),
    "setwnd_title": ("Settings", "Einstellungen", "Paramètres"),
    "setwnd_close_tip": ("Close", "Schließen", "Fermer"),
    "setwnd_close": ("Close", "Schließen", "Fermer"),
    "setwnd_language": ("Language", "Sprache", "Langue"),
    "setwnd_updates": ("Firmware updates", "Firmware-Updates", "Mises à jour du micrologiciel"),
    "update_col_device": ("Device", "Gerät", "Appareil"),
    "update_col_current": ("Installed", "Installiert", "Installée"),
    "update_col_new": ("New", "Neu", "Nouvelle"),
    "update_col_status": ("Status", "Zustand", "État"),
    "update_rev_unknown": ("unknown", "unbekannt", "inconnue"),
    "update_confirm_text": ("Update the selected devices now? Keep them plugged in until the update ends.", "Die ausgewählten Geräte jetzt aktualisieren? Lassen Sie sie bis zum Ende angeschlossen.", "Mettre à jour les appareils choisis maintenant ? Laissez-les branchés jusqu'à la fin."),
    "update_close_running": ("An update is running. Close this window anyway? The update goes on.", "Eine Aktualisierung läuft. Dieses Fenster trotzdem schließen? Die Aktualisierung läuft weiter.", "Une mise à jour est en cours. Fermer quand même cette fenêtre ? La mise à jour continue."),
    "update_cancel": ("Cancel", "Abbrechen", "Annuler"),
    "update_start": ("Update", "Aktualisieren", "Mettre à jour"),
    "update_selected": ("Update selected", "Auswahl aktualisieren", "Mettre à jour la sélection"),
    "update_show_list": ("Show the list", "Liste zeigen", "Afficher la liste"),
    "UpdateFromDistributionText": ("This program is updated by your distribution; device firmware by the firmware tool.", "Dieses Programm aktualisiert Ihre Distribution, die Gerätefirmware das Firmware-Werkzeug.", "Ce programme est mis à jour par votre distribution, le micrologiciel par l'outil dédié."),
    "GetUpdateInfoText": ("Looking for updates…", "Suche nach Updates…", "Recherche de mises à jour…"),
    "HaveUpdateInfoText": ("Updates are available", "Updates verfügbar", "Des mises à jour sont disponibles"),
    "NoUpdateInfoText": ("No update information", "Keine Update-Informationen", "Aucune information de mise à jour"),
    "ISUpdateINGText": ("Updating…", "Wird aktualisiert…", "Mise à jour en cours…"),
    "UpdateIsLastText": ("Everything is up to date. Last check:", "Alles ist aktuell. Letzte Prüfung:", "Tout est à jour. Dernière vérification :"),
    "LessUpdateText": ("Up to date", "Aktuell", "À jour"),
    "NeedUpdateText": ("Update available", "Update verfügbar", "Mise à jour disponible"),
    "DownloadWaitText": ("Waiting", "Wartet", "En attente"),
    "DownloadIngText": ("Downloading", "Wird geladen", "Téléchargement"),
    "DownloadOkText": ("Downloaded", "Geladen", "Téléchargé"),
    "UpdateIngText": ("Updating", "Wird aktualisiert", "Mise à jour"),
    "UpdateOkText": ("Updated", "Aktualisiert", "Mis à jour"),
    "UpdateFailText": ("Update failed", "Update fehlgeschlagen", "Échec de la mise à jour"),
    "skin_images": ("Images", "Bilder", "Motifs"),
    "skin_colours": ("Colours", "Farben", "Couleurs"),
    "skin_reset": ("Default", "Standard", "Par défaut"),
    "skin_reset_tip": ("Back to the default background", "Zurück zum Standardhintergrund", "Revenir à l'arrière-plan par défaut"),
    "skin_image_plain": ("Plain", "Schlicht", "Sobre"),
    "skin_image_base": ("Texture", "Struktur", "Trame"),
    "skin_colour_night": ("Night", "Nacht", "Nuit"),
    "skin_colour_navy": ("Navy", "Marine", "Marine"),
    "skin_colour_wine": ("Wine", "Wein", "Bordeaux"),
    "skin_colour_forest": ("Forest", "Wald", "Forêt"),
    "skin_colour_graphite": ("Graphite", "Graphit", "Anthracite"),
    "about_title": ("About", "Über", "À propos"),
    "about_close_tip": ("Close", "Schließen", "Fermer"),
    "about_text": ("Configuration for KORVALE keyboards, mice, mousepads and headsets", "Einstellungen für KORVALE-Tastaturen, -Mäuse, -Mauspads und -Headsets", "Réglages des claviers, souris, tapis et casques KORVALE"),
    "palette_title": ("Choose a colour", "Farbe wählen", "Choisir une couleur"),
    "palette_close_tip": ("Close without changing the colour", "Schließen, ohne die Farbe zu ändern", "Fermer sans changer la couleur"),
    "palette_field": ("Colour field", "Farbfeld", "Nuancier"),
    "palette_presets": ("Preset colours", "Vorgegebene Farben", "Couleurs prédéfinies"),
    "palette_collected": ("My colours", "Eigene Farben", "Mes couleurs"),
    "palette_collected_tip": ("Select a field, then pick a colour to keep it here", "Feld wählen, dann eine Farbe aussuchen, um sie hier zu behalten", "Choisissez une case, puis une couleur pour la garder ici"),
    "palette_preview": ("Preview", "Vorschau", "Aperçu"),
    "palette_red": ("Red", "Rot", "Rouge"),
    "palette_green": ("Green", "Grün", "Vert"),
    "palette_blue": ("Blue", "Blau", "Bleu"),
    "palette_ok": ("OK", "OK", "OK"),
})

# Macro and shoot editors: id -> (English, Deutsch, Français).
MACRO_TEXTS = {
    "file_filter_macro": ("Macro files", "Makrodateien", "Fichiers de macro"),
    "file_filter_shoot": ("Shoot files", "Schussdateien", "Fichiers de tir"),
    "macro_list_title_text": ("Macros", "Makros", "Liste des macros"),
    "macro_rename_text": ("Rename", "Umbenennen", "Renommer"),
    "macro_add_text": ("New", "Neu", "Nouveau"),
    "macro_delete_text": ("Delete", "Löschen", "Supprimer"),
    "macro_import_text": ("Import", "Importieren", "Importer"),
    "macro_export_text": ("Export", "Exportieren", "Exporter"),
    "macro_action_key_text": ("Key", "Taste", "Touche"),
    "macro_action_state_text": ("Action", "Aktion", "État"),
    "macro_action_delay_text": ("Delay (ms)", "Pause (ms)", "Délai (ms)"),
    "macro_action_down_text": ("Press", "Drücken", "Appui"),
    "macro_action_up_text": ("Release", "Loslassen", "Relâche"),
    "macro_top_text": ("Top", "Anfang", "Début"),
    "macro_up_text": ("Up", "Hoch", "Monter"),
    "macro_down_text": ("Down", "Runter", "Descendre"),
    "macro_bottom_text": ("Bottom", "Ende", "Fin"),
    "macro_row_delete_text": ("Remove", "Entfernen", "Retirer"),
    "macro_row_clear_text": ("Clear", "Leeren", "Vider"),
    "macro_reload_text": ("Revert", "Verwerfen", "Annuler"),
    "macro_save_text": ("Save", "Speichern", "Enregistrer"),
    "macro_rows_shown_text": ("Actions %d–%d of %d", "Aktionen %d–%d von %d", "Actions %d à %d sur %d"),
    "macro_rows_prev_text": ("Earlier actions", "Vorherige Aktionen", "Actions précédentes"),
    "macro_rows_next_text": ("Later actions", "Nächste Aktionen", "Actions suivantes"),
    "macro_insert_refused_text": ("Nothing was inserted:", "Nichts wurde eingefügt:", "Rien n'a été inséré :"),
    "macro_insert_move_text": ("Insert a move:", "Bewegung einfügen:", "Insérer un mouvement :"),
    "macro_import_failed_text": ("This file cannot be imported as a macro:", "Diese Datei kann nicht als Makro importiert werden:",
                                 "Ce fichier ne peut pas être importé comme macro :"),
    "macro_export_failed_text": ("The macro was not exported:", "Das Makro wurde nicht exportiert:", "La macro n'a pas été exportée :"),
    "macro_file_broken_text": ("This macro's file is damaged; it shows no actions:", "Die Datei dieses Makros ist beschädigt; es zeigt keine Aktionen:",
                               "Le fichier de cette macro est endommagé ; elle n'affiche aucune action :"),
    "macro_download_failed_text": ("The macros were not stored on the device, so the key assignments were not sent either:",
                                   "Die Makros wurden nicht im Gerät gespeichert, daher wurden auch die Tastenbelegungen nicht gesendet:",
                                   "Les macros n'ont pas été enregistrées dans le périphérique ; les affectations des touches n'ont donc pas été envoyées :"),
    "key_download_failed_text": ("The key assignments were not stored on the device (tried twice); they are kept in the profile:",
                                 "Die Tastenbelegungen wurden nicht im Gerät gespeichert (zwei Versuche); sie bleiben im Profil:",
                                 "Les affectations des touches n'ont pas été enregistrées dans le périphérique (deux essais) ; elles restent dans le profil :"),
    "shoot_gun_1_text": ("Gun 1", "Waffe 1", "Arme 1"), "shoot_gun_2_text": ("Gun 2", "Waffe 2", "Arme 2"),
    "shoot_gun_3_text": ("Gun 3", "Waffe 3", "Arme 3"), "shoot_gun_4_text": ("Gun 4", "Waffe 4", "Arme 4"),
    "shoot_gun_1_hint_text": ("Light recoil", "Leichter Rückstoß", "Recul léger"),
    "shoot_gun_2_hint_text": ("Medium recoil", "Mittlerer Rückstoß", "Recul moyen"),
    "shoot_gun_3_hint_text": ("Strong recoil", "Starker Rückstoß", "Recul fort"),
    "shoot_gun_4_hint_text": ("Very strong recoil", "Sehr starker Rückstoß", "Recul très fort"),
    "shoot_bullet_text": ("Bullet", "Schuss", "Balle"),
    "shoot_x_text": ("Sideways", "Seitlich", "Axe latéral"),
    "shoot_y_text": ("Vertical", "Vertikal", "Axe vertical"),
    "shoot_delay_text": ("Pause (ms)", "Wartezeit (ms)", "Délai (ms)"),
    "shoot_reset_text": ("Reset", "Zurücksetzen", "Réinitialiser"),
    "shoot_download_text": ("Save to device", "Im Gerät speichern", "Enregistrer sur l'appareil"),
    "shoot_reset_failed_text": ("The gun was not reset:", "Die Waffe wurde nicht zurückgesetzt:", "L'arme n'a pas été réinitialisée :"),
    "shoot_import_failed_text": ("This file cannot be imported as a shoot sequence:", "Diese Datei kann nicht als Schussfolge importiert werden:",
                                 "Ce fichier ne peut pas être importé comme séquence de tir :"),
    "shoot_export_failed_text": ("The shoot sequence was not exported:", "Die Schussfolge wurde nicht exportiert:",
                                 "La séquence de tir n'a pas été exportée :"),
    "shoot_download_failed_text": ("The shoot sequences were not stored on the device:", "Die Schussfolgen wurden nicht im Gerät gespeichert:",
                                   "Les séquences de tir n'ont pas été enregistrées dans le périphérique :"),
}
TEXTS.update(MACRO_TEXTS)


KEY_EDITOR_TEXTS = {
    "keyset_function_label": ("Function", "Funktion", "Fonction"),
    "keyset_cat_default": ("Default", "Standard", "Par défaut"),
    "keyset_cat_mouse": ("Mouse button", "Maustaste", "Bouton de souris"),
    "keyset_cat_swing": ("Wheel tilt", "Radneigung", "Inclinaison de molette"),
    "keyset_cat_wheel": ("Wheel scroll", "Radscrollen", "Défilement"),
    "keyset_cat_resolution": ("Resolution", "Auflösung", "Résolution"),
    "keyset_cat_fire": ("Fire key", "Feuertaste", "Touche de tir"),
    "keyset_cat_key": ("Keyboard key", "Tastaturtaste", "Touche du clavier"),
    "keyset_cat_media": ("Media and web", "Medien und Web", "Multimédia et web"),
    "keyset_cat_system": ("System", "Systemfunktion", "Système"),
    "keyset_cat_macro": ("Macro", "Makro", "Macro-commande"),
    "keyset_cat_gun": ("Gun key", "Waffentaste", "Touche d'arme"),
    "keyset_cat_combination": ("Shortcut", "Tastenkürzel", "Raccourci"),
    "keyset_fn_layer": ("Fn layer", "Fn-Ebene", "Couche Fn"),
    "keyset_fn_tip": ("Edit what the keys do while Fn is held", "Bearbeiten, was die Tasten bei gehaltener Fn-Taste tun",
                      "Modifier l'effet des touches quand Fn est maintenue"),
    "keyset_default_btn": ("Default", "Standard", "Par défaut"),
    "keyset_cancel_btn": ("Undo", "Zurück", "Annuler"),
    "keyset_apply_btn": ("Apply", "Übernehmen", "Appliquer"),
    "keyset_download_btn": ("Send to device", "An Gerät senden", "Envoyer à l'appareil"),
    "keyset_default_hint": ("The key does what it does out of the box.", "Die Taste tut, was sie ab Werk tut.",
                            "La touche fait ce qu'elle fait d'origine."),
    "keyset_count_label": ("Count", "Anzahl", "Nombre"),
    "keyset_delay_label": ("Delay", "Verzögerung", "Délai"),
    "keyset_speed_label": ("Speed", "Tempo", "Vitesse"),
    "keyset_interval_label": ("Interval (ms)", "Abstand (ms)", "Intervalle (ms)"),
    "keyset_macro_label": ("Macro", "Makro", "Macro-commande"),
    "keyset_play_label": ("Plays", "Abspielen", "Lecture"),
    "keyset_play_once": ("Once per press", "Einmal je Druck", "Une fois par appui"),
    "keyset_play_hold": ("While held", "Solange gedrückt", "Tant que maintenue"),
    "keyset_play_toggle": ("Until pressed again", "Bis zum nächsten Druck", "Jusqu'au prochain appui"),
    "keyset_play_press": ("On release", "Beim Loslassen", "Au relâchement"),
    "keyset_play_times": ("A number of times", "Mehrmals", "Plusieurs fois"),
    "keyset_repeat_label": ("Times", "Wiederholungen", "Répétitions"),
    "keyset_mod_none": ("None", "Keine", "Aucun"),
    "keyset_mod_ctrl": ("Ctrl", "Strg", "Ctrl"),
    "keyset_mod_shift": ("Shift", "Umsch", "Maj"),
    "keyset_mod_alt": ("Alt", "Alt", "Alt"),
    "keyset_mod_win": ("Win", "Win", "Win"),
    "keyset_capture_label": ("Press a key", "Taste drücken", "Appuyez sur une touche"),
    "keyset_capture_tip": ("Click here, then press the key to assign", "Hier klicken, dann die gewünschte Taste drücken",
                           "Cliquez ici puis appuyez sur la touche voulue"),
    "keyset_capture_reserved": ("Desktop keys (Super, Alt+Tab, Print): pick them on the grid.",
                                "Desktop-Tasten (Super, Alt+Tab, Druck): links wählen.",
                                "Touches du bureau (Super, Alt+Tab, Impr) : à choisir à gauche."),
    "capture_unavailable_text": ("Keys cannot be captured here: this window draws no input. Pick the key on the grid instead.",
                                 "Tasten können hier nicht erfasst werden: dieses Fenster empfängt keine Eingaben. Wählen Sie die Taste auf der Tastatur.",
                                 "Impossible de capter les touches ici : cette fenêtre ne reçoit aucune saisie. Choisissez la touche sur le clavier."),
    "system_power": ("Power off", "Ausschalten", "Éteindre"),
    "system_sleep": ("Sleep", "Ruhezustand", "Veille"),
    "system_wake_up": ("Wake up", "Aufwecken", "Réveil"),
    "web_refresh": ("Refresh", "Aktualisieren", "Actualiser"),
    "web_search": ("Search", "Suchen", "Rechercher"),
    "wed_back": ("Web back", "Web zurück", "Web précédent"),
    "wed_forward": ("Web forward", "Web vorwärts", "Web suivant"),
    "wed_favorite": ("Bookmarks", "Lesezeichen", "Favoris"),
    "wed_stop": ("Stop loading", "Laden stoppen", "Arrêter le chargement"),
    "custem_open": ("Open (Ctrl+O)", "Öffnen (Strg+O)", "Ouvrir (Ctrl+O)"),
    "custem_new": ("New (Ctrl+N)", "Neu (Strg+N)", "Nouveau (Ctrl+N)"),
    "custem_undo": ("Undo (Ctrl+Z)", "Rückgängig (Strg+Z)", "Annuler (Ctrl+Z)"),
    "custem_save": ("Save (Ctrl+S)", "Speichern (Strg+S)", "Enregistrer (Ctrl+S)"),
    "custem_copy": ("Copy (Ctrl+C)", "Kopieren (Strg+C)", "Copier (Ctrl+C)"),
    "custem_cut": ("Cut (Ctrl+X)", "Ausschneiden (Strg+X)", "Couper (Ctrl+X)"),
    "custem_paste": ("Paste (Ctrl+V)", "Einfügen (Strg+V)", "Coller (Ctrl+V)"),
    "custem_find": ("Find (Ctrl+F)", "Suchen (Strg+F)", "Rechercher (Ctrl+F)"),
    "custem_select_all": ("Select all (Ctrl+A)", "Alles auswählen (Strg+A)", "Tout sélectionner (Ctrl+A)"),
    "custem_zoom_out": ("Zoom out (Ctrl+-)", "Verkleinern (Strg+-)", "Zoom arrière (Ctrl+-)"),
    "custem_magnify": ("Zoom in (Ctrl+=)", "Vergrößern (Strg+=)", "Zoom avant (Ctrl+=)"),
    "show_window": ("Show this window", "Dieses Fenster zeigen", "Afficher cette fenêtre"),
    "gun_1_txt": ("Gun 1", "Waffe 1", "Arme 1"),
    "gun_2_txt": ("Gun 2", "Waffe 2", "Arme 2"),
    "gun_3_txt": ("Gun 3", "Waffe 3", "Arme 3"),
    "gun_4_txt": ("Gun 4", "Waffe 4", "Arme 4"),
}
TEXTS.update(KEY_EDITOR_TEXTS)

RECORDING_TEXTS = {
    "macro_record_text": ("● Record", "● Aufnehmen", "● Enregistrer"),
    "macro_record_tip": ("Record keys and mouse buttons pressed in this window", "Tasten und Maustasten aufnehmen, die in diesem Fenster gedrückt werden",
                         "Enregistrer les touches et boutons pressés dans cette fenêtre"),
    "macro_stop_text": ("■ Stop", "■ Stopp", "■ Arrêter"),
    "macro_fixed_delay_text": ("Fixed delay (ms)", "Feste Pause (ms)", "Délai fixe (ms)"),
    "macro_record_pad_text": ("Recording: type here, click mouse buttons on this pad. Stop ends it.",
                              "Aufnahme: hier tippen, Maustasten auf dieser Fläche drücken. Stopp beendet sie.",
                              "Enregistrement : tapez ici, cliquez sur cette zone. Arrêter le termine."),
}
TEXTS.update(RECORDING_TEXTS)

# The action list's menu (XML/Menus/macro_action_menu.xml).
ACTION_MENU_TEXTS = {
    "macro_menu_record_before": ("Record before this row", "Vor dieser Zeile aufnehmen", "Enregistrer avant cette ligne"),
    "macro_menu_record_after": ("Record after this row", "Nach dieser Zeile aufnehmen", "Enregistrer après cette ligne"),
    "macro_menu_measured_delays": ("Delays as set in the editor", "Pausen wie im Editor eingestellt",
                                   "Délais comme réglés dans l'éditeur"),
    "macro_menu_fixed_delays": ("With the fixed delay", "Mit der festen Pause", "Avec le délai fixe"),
    "macro_menu_no_delays": ("Without delays", "Ohne Pausen", "Sans délais"),
    "macro_menu_replace": ("Replace this row's key or button", "Taste dieser Zeile ersetzen",
                           "Remplacer la touche de cette ligne"),
    "macro_menu_insert_left": ("Insert left button", "Linke Taste einfügen", "Insérer le bouton gauche"),
    "macro_menu_insert_right": ("Insert right button", "Rechte Taste einfügen", "Insérer le bouton droit"),
    "macro_menu_insert_middle": ("Insert middle button", "Mittlere Taste einfügen", "Insérer le bouton du milieu"),
    "macro_menu_insert_back": ("Insert back button", "Zurück-Taste einfügen", "Insérer le bouton précédent"),
    "macro_menu_insert_forward": ("Insert forward button", "Vorwärts-Taste einfügen", "Insérer le bouton suivant"),
    "macro_menu_click": ("Click (press and release)", "Klick (drücken und loslassen)", "Clic (appui et relâche)"),
    "macro_menu_press": ("Press", "Drücken", "Appui"),
    "macro_menu_release": ("Release", "Loslassen", "Relâche"),
}
TEXTS.update(ACTION_MENU_TEXTS)


# The key table's words, in table order; each is the text ID "keyboard_key_" + word.
KEY_WORDS = (["LCtrl", "LShift", "LAlt", "LWin", "RCtrl", "RShift", "RAlt", "RWin"] +
             [chr(c) for c in range(ord("A"), ord("Z") + 1)] + [str(d) for d in range(1, 10)] + ["0"] +
             ["Enter", "Esc", "BackSpace", "Tab", "Space", "-", "=", "[", "]", "xiegang", ";", "'", "`",
              "<", ".", "/", "Caplk"] + ["F%d" % i for i in range(1, 13)] +
             ["Print Scr", "Scroll Lock", "Pause", "Insert", "Home", "Page Up", "Delete", "End",
              "Page Down", "Right", "Left", "Down", "Up", "Num Lock", "Num /", "Num *", "Num -",
              "Num +", "Num Enter"] + ["Num %d" % i for i in range(1, 10)] +
             ["Num 0", "Decimal", "App", "K45", "K56", "K14", "K107", "K131", "K132", "K133",
              "K150", "K151"])
assert len(KEY_WORDS) == 113, len(KEY_WORDS)

# Key names where a word is not its own name. K-numbers name keys by their
# HID usage: K45 0x64 (the ISO key beside left Shift), K56 0x87 Ro, K14 0x89
# Yen, K107 0x85 keypad comma, K131 0x8B Muhenkan, K132 0x8A Henkan, K133 0x88
# Kana, K150 0x91 Hanja (LANG2), K151 0x90 Hangul (LANG1).
KEY_NAMES = {
    "LCtrl": ("Left Ctrl", "Strg links", "Ctrl gauche"),
    "LShift": ("Left Shift", "Umschalt links", "Maj gauche"),
    "LAlt": ("Left Alt", "Alt", "Alt"),
    "LWin": ("Left Win", "Windows links", "Windows gauche"),
    "RCtrl": ("Right Ctrl", "Strg rechts", "Ctrl droit"),
    "RShift": ("Right Shift", "Umschalt rechts", "Maj droite"),
    "RAlt": ("Right Alt", "Alt Gr", "Alt Gr"),
    "RWin": ("Right Win", "Windows rechts", "Windows droite"),
    "Enter": ("Enter", "Eingabe", "Entrée"),
    "Esc": ("Esc", "Esc", "Échap"),
    "BackSpace": ("Backspace", "Rücktaste", "Retour arrière"),
    "Space": ("Space", "Leertaste", "Espace"),
    "xiegang": ("\\", "\\", "\\"),
    "<": (",", ",", ","),
    "Caplk": ("Caps Lock", "Feststelltaste", "Verr. Maj"),
    "Print Scr": ("Print Screen", "Druck", "Impr. écran"),
    "Scroll Lock": ("Scroll Lock", "Rollen", "Arrêt défil."),
    "Insert": ("Insert", "Einfg", "Inser"),
    "Home": ("Home", "Pos1", "Début"),
    "Page Up": ("Page Up", "Bild auf", "Page préc."),
    "Delete": ("Delete", "Entf", "Suppr"),
    "End": ("End", "Ende", "Fin"),
    "Page Down": ("Page Down", "Bild ab", "Page suiv."),
    "Right": ("Right", "Rechts", "Droite"),
    "Left": ("Left", "Links", "Gauche"),
    "Down": ("Down", "Unten", "Bas"),
    "Up": ("Up", "Oben", "Haut"),
    "Num Lock": ("Num Lock", "Num-Taste", "Verr. num"),
    "Num Enter": ("Num Enter", "Num Eingabe", "Num Entrée"),
    "Decimal": ("Num .", "Num ,", "Num ."),
    "App": ("Menu", "Menü", "Menu"),
    "K45": ("ISO \\", "< > |", "< >"),
    "K56": ("Ro", "Ro", "Ro"),
    "K14": ("Yen", "Yen", "Yen"),
    "K107": ("Num ,", "Num ,", "Num ,"),
    "K131": ("Muhenkan", "Muhenkan", "Muhenkan"),
    "K132": ("Henkan", "Henkan", "Henkan"),
    "K133": ("Kana", "Kana", "Kana"),
    "K150": ("Hanja", "Hanja", "Hanja"),
    "K151": ("Hangul", "Hangul", "Hangul"),
}

# Keycaps of the keyboard page: "keyboard_cap_" + name, for keys whose name is
# too long for a cap or that the key table does not hold. Other caps show
# their key name.
KEY_CAPS = {
    "LCtrl": ("Ctrl", "Strg", "Ctrl"), "RCtrl": ("Ctrl", "Strg", "Ctrl"),
    "LShift": ("Shift", "Umsch", "Maj"), "RShift": ("Shift", "Umsch", "Maj"),
    "LAlt": ("Alt", "Alt", "Alt"), "RAlt": ("Alt", "AltGr", "AltGr"),
    "LWin": ("Win", "Win", "Win"), "RWin": ("Win", "Win", "Win"),
    "Enter": ("Enter", "Eing", "Entr"),
    "BackSpace": ("Bksp", "Rück", "Ret"),
    "Caplk": ("Caps", "Fest", "Verr"),
    "Print Scr": ("PrtSc", "Druck", "Impr"),
    "Scroll Lock": ("ScrLk", "Rollen", "Défil"),
    "Insert": ("Ins", "Einfg", "Inser"),
    "Delete": ("Del", "Entf", "Suppr"),
    "Page Up": ("PgUp", "Bild+", "Pg+"),
    "Page Down": ("PgDn", "Bild-", "Pg-"),
    "Num Lock": ("Num", "Num", "Num"),
    "Num Enter": ("Enter", "Eing", "Entr"),
    "K45": ("\\", "<", "<"),
    "K131": ("Muhen", "Muhen", "Muhen"),
    "K132": ("Henk", "Henk", "Henk"),
    "K151": ("Han", "Han", "Han"),
    "NonUsHash": ("#", "#", "#"),
    "Fn": ("Fn", "Fn", "Fn"),
    "Calc": ("Calc", "Rechn", "Calc"),
    "Mute": ("Mute", "Stumm", "Muet"),
    "VolDown": ("Vol-", "Vol-", "Vol-"),
    "VolUp": ("Vol+", "Vol+", "Vol+"),
}
KEY_CAPS.update({"Num %s" % c: (c, c, c) for c in "0123456789/*-+"})
KEY_CAPS.update({"Decimal": (".", ",", "."), "K107": (",", ",", ",")})
KEY_CAPS.update({"G%d" % i: ("G%d" % i,) * 3 for i in range(1, 6)})


# The headset's audio and voice effect panels.
TEXTS.update({
    "audio_equaliser": ("Equaliser", "Equalizer", "Égaliseur"),
    "eq_preset_13": ("Custom", "Eigene", "Perso"),
    "custom_eq_label": ("My curves", "Eigene Kurven", "Mes courbes"),
    "custom_eq_save": ("Save", "Speichern", "Enregistrer"),
    "custom_eq_save_tip": ("Save the sliders under the new name, or over the selected curve when the name is empty",
                           "Die Regler unter dem neuen Namen speichern, oder bei leerem Namen über die gewählte Kurve",
                           "Enregistrer les curseurs sous le nouveau nom, ou sur la courbe choisie si le nom est vide"),
    "custom_eq_delete": ("Delete", "Löschen", "Supprimer"),
    "audio_custom_eq_refused": (
        "No curve saved: there are already 20 of your own curves, or no name was given and none is selected. "
        "Delete a curve, or select one and save with an empty name to overwrite it.",
        "Keine Kurve gespeichert: Es gibt schon 20 eigene Kurven, oder kein Name wurde eingegeben und keine ist gewählt. "
        "Löschen Sie eine Kurve, oder wählen Sie eine und speichern Sie mit leerem Namen, um sie zu überschreiben.",
        "Aucune courbe enregistrée : vous avez déjà 20 courbes, ou aucun nom n'est saisi et aucune n'est choisie. "
        "Supprimez une courbe, ou choisissez-en une et enregistrez sans nom pour la remplacer."),
    "audio_mic_on": ("Microphone on", "Mikrofon an", "Micro activé"),
    "audio_mic_level": ("Level", "Pegel", "Niveau"),
    "audio_monitor_on": ("Hear my voice", "Eigene Stimme hören", "Entendre ma voix"),
    "audio_monitor_level": ("Level", "Pegel", "Niveau"),
    "audio_status_no_backend": ("No sound back-end: audio settings are kept but not applied.",
                                "Kein Klang-Backend: Audio-Einstellungen werden gespeichert, aber nicht angewendet.",
                                "Pas de moteur audio : les réglages sont gardés mais pas appliqués."),
    "audio_status_connecting": ("Connecting to the sound server…", "Verbindung zum Soundserver…",
                                "Connexion au serveur de son…"),
    "audio_status_no_server": (
        "No sound server is running. Start PulseAudio or PipeWire: the settings are applied as soon as it is there.",
        "Kein Soundserver läuft. Starten Sie PulseAudio oder PipeWire: Die Einstellungen gelten, sobald er da ist.",
        "Aucun serveur de son ne tourne. Lancez PulseAudio ou PipeWire : les réglages s'appliquent dès qu'il est là."),
    "audio_status_no_headset": (
        "The sound server lists no output or microphone of the headset (USB 0C76:1630). Plug it in.",
        "Der Soundserver führt keinen Ausgang und kein Mikrofon des Headsets (USB 0C76:1630). Schließen Sie es an.",
        "Le serveur de son ne liste ni sortie ni micro du casque (USB 0C76:1630). Branchez-le."),
    "audio_reason_no_eq_plugin": (
        "The equaliser needs the LADSPA filters of the package lsp-plugins-ladspa: install it.",
        "Der Equalizer braucht die LADSPA-Filter des Pakets lsp-plugins-ladspa: Installieren Sie es.",
        "L'égaliseur a besoin des filtres LADSPA du paquet lsp-plugins-ladspa : installez-le."),
    "audio_reason_no_voice_effects": (
        "Voice effects belong to the headset's Windows driver; the Linux sound server has none.",
        "Stimmeffekte gehören zum Windows-Treiber des Headsets; der Linux-Soundserver hat keine.",
        "Les effets de voix viennent du pilote Windows du casque ; le serveur de son Linux n'en a pas."),
    "audio_reason_not_on_server": ("Not available on the Linux sound server.",
                                   "Auf dem Linux-Soundserver nicht verfügbar.",
                                   "Non disponible sur le serveur de son Linux."),
    "magic_enable": ("Voice effect", "Stimmeffekt", "Effet de voix"),
})
TEXTS.update({"eq_preset_%d" % t: ("EQ %d" % t, "EQ %d" % t, "EQ %d" % t) for t in range(1, 13)})
TEXTS.update({"eq_band_%d" % j: (f, f.replace(".", ","), f.replace(".", ","))
              for j, f in enumerate(["31 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                     "1 kHz", "2 kHz", "4 kHz", "8 kHz", "16 kHz"])})
TEXTS.update({"magic_kind_%d" % k: ("Voice %d" % k, "Stimme %d" % k, "Voix %d" % k) for k in range(1, 5)})


def language(column):
    texts = {k: v[column] for k, v in TEXTS.items()}
    for w in KEY_WORDS:
        texts["keyboard_key_" + w] = KEY_NAMES[w][column] if w in KEY_NAMES else w
    for w, caps in KEY_CAPS.items():
        texts["keyboard_cap_" + w] = caps[column]
    return dict(sorted(texts.items()))


# In the order the settings window lists them; the last field is the language's
# column in the tables above.
LANGUAGES = [("English", "Language/English.json", 1033, "language_english", 0),
             ("Deutsch", "Language/Deutsch.json", 1031, "language_german", 1),
             ("Français", "Language/Francais.json", 1036, "language_french", 2)]


def main(argv):
    # --out DIR writes the same tree under DIR (the tests compare it with ours).
    root = argv[argv.index("--out") + 1] if "--out" in argv else ROOT
    dd = os.path.join(root, "data", "DefaultData")
    os.makedirs(dd, exist_ok=True)
    os.makedirs(os.path.join(root, "data", "Language"), exist_ok=True)
    dump(os.path.join(dd, "keyboard.Json"), keyboard)
    dump(os.path.join(dd, "mouse.Json"), mouse)
    dump(os.path.join(dd, "MousePad.Json"), mousepad)
    dump(os.path.join(dd, "HD.Json"), headset)
    dump(os.path.join(dd, "default_light.json"), default_light)
    dump(os.path.join(dd, "color_option_info.config"), palette)
    dump(os.path.join(dd, "AudioFile.json"), audio)
    for g, pull in enumerate([2, 3, 4, 6]):
        dump(os.path.join(dd, "ShootData_%d.Shoot" % g), shoot(pull))
    dump(os.path.join(dd, "Language.config"), {"Language": [
        {"Language_name": n, "Language_file": f, "Language_ID": i, "Language_text": t}
        for n, f, i, t, _ in LANGUAGES]})
    for _, f, _, _, column in LANGUAGES:
        dump(os.path.join(root, "data", f), language(column))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
