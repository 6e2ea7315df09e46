#!/usr/bin/env python3
"""Writes the installation data under data/: the default profiles, the
built-in effect lists, the language list and language files, and the default
copies of the user files. The generated JSON is the truth; rerun after editing
this script and review the diff."""
import json
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DD = os.path.join(ROOT, "data", "DefaultData")
LANG = os.path.join(ROOT, "data", "Language")

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

# Preset equaliser curves by slot (slot 0 is unused: type 0 reads slot 1).
EQ_PRESETS = [
    [0] * 10,
    [0] * 10,                                   # 1 flat
    [6, 5, 4, 2, 0, 0, 0, 0, 0, 0],             # 2 bass
    [0, 0, 0, 0, 0, 0, 2, 4, 5, 6],             # 3 treble
    [-2, -1, 0, 2, 4, 4, 2, 0, -1, -2],         # 4 vocal
    [4, 3, 0, -2, -1, 1, 3, 4, 4, 4],           # 5 rock
    [-1, 1, 3, 4, 3, 0, -1, -1, -1, -1],        # 6 pop
    [3, 3, 2, 0, -1, -1, 0, 2, 3, 3],           # 7 jazz
    [4, 3, 2, 1, 0, 0, 1, 2, 3, 4],             # 8 classical
    [5, 4, 1, 0, -2, 0, 1, 4, 5, 5],            # 9 dance
    [3, 2, 0, 0, 1, 3, 4, 3, 2, 1],             # 10 game
    [4, 3, 1, 0, 2, 4, 3, 1, 2, 3],             # 11 movie
    [-3, -2, 0, 3, 5, 5, 3, 0, -2, -3],         # 12 voice chat
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
                 "light_mode_user", "light_mode_off", "light_mode_reserved_11"]
MOUSE_HIDDEN = {9, 11}
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

audio = {"Device": {"AudioLightInfo": {
    "nAudioStyle": 0,
    "nStyleName1": "Style 1", "nStyleName2": "Style 2", "nStyleName3": "Style 3",
    "nStyleName4": "Style 4",
    "nStyleR0": 255, "nStyleG0": 0, "nStyleB0": 0,
    "nStyleR1": 0, "nStyleG1": 255, "nStyleB1": 0,
    "nStyleR2": 0, "nStyleG2": 0, "nStyleB2": 255,
    "nStyleR3": 255, "nStyleG3": 255, "nStyleB3": 255,
}}}


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


# --- language files: text ID -> words ---

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
KEY_SHOWN = {"LCtrl": "Left Ctrl", "LShift": "Left Shift", "LAlt": "Left Alt", "LWin": "Left Win",
             "RCtrl": "Right Ctrl", "RShift": "Right Shift", "RAlt": "Right Alt", "RWin": "Right Win",
             "xiegang": "\\", "<": ",", "Caplk": "Caps Lock", "Decimal": "Num .", "App": "Menu",
             "BackSpace": "Backspace", "K45": "ISO \\", "K56": "ISO <", "K14": "JIS \u00a5",
             "K107": "Non-US", "K131": "Muhenkan", "K132": "Henkan", "K133": "Kana",
             "K150": "Hangul", "K151": "Hanja"}

EN = {
    "language_english": "English", "language_german": "Deutsch", "language_french": "Français",
    "software_rev_text": "Software version", "Update_Status_text": "Update status",
    "update_status_text": "You have the latest version",
    "message_text_2": "A key of the current profile uses this macro. Delete it anyway?",
    "message_text_4": "Delete this macro?",
    "message_text_5": "This name is already in use.",
    "message_text_6": "The left button cannot be reassigned: no other button would click.",
    "message_text_7": "The device has no memory for macros.",
    "message_text_16": "The macros do not fit into the device's memory (%d events too many).",
    "message_text_22": "Restore the default settings?",
    "message_text_25": "The profile name is empty.",
    "message_text_26": "Copy this profile?",
    "message_text_27": "Add a new profile?",
    "message_text_28": "Add a new macro?",
    "message_text_29": "Delete this profile?",
    "close_text": "Disabled", "Key_Set": "Assigned: ", "Light_Set": "Lighting",
    "Overall_Light_Set": "Whole device: ", "Repeat_Delay_Time": "Repeat delay: ",
    "Repeat_input_text": "Type here to test the repeat rate", "Logo": "Logo",
    "kb_device_name_text": "Keyboard", "ms_device_name_text": "Mouse",
    "hard_mp_device_name_text": "Mousepad", "soft_mp_device_name_text": "Mousepad",
    "hd_device_name_text": "Headset", "hub_device_name_text": "Hub",
    "unknow_device_name_text": "Unknown device",
    "light_set_anticlockwise_text": "Anticlockwise", "light_set_clockwise_text": "Clockwise",
    "light_set_down_to_up_text": "Bottom to top", "light_set_up_to_down_text": "Top to bottom",
    "light_set_left_to_right_text": "Left to right", "light_set_right_to_left_text": "Right to left",
    "light_set_inside_to_outside_text": "Inside out", "light_set_outside_to_inside_text": "Outside in",
    "media_text": "Media", "web_text": "Web", "win_key_text": "Windows key",
    "mouse_cursor_text": "Cursor", "mouse_move_to_up_text": "Move up",
    "mouse_move_to_down_text": "Move down", "mouse_move_to_left_text": "Move left",
    "mouse_move_to_right_text": "Move right",
    "mouse_key_left": "Left button", "mouse_key_right": "Right button",
    "mouse_key_middle": "Middle button", "mouse_key_back": "Back", "mouse_key_forward": "Forward",
    "mouse_key_DPI_add": "DPI up", "mouse_key_DPI_sub": "DPI down", "mouse_key_DPI_loop": "DPI cycle",
    "mouse_key_DPI_shift": "DPI shift", "mouse_key_fire_key": "Fire key",
    "mouse_key_shortcut_key": "Shortcut", "mouse_key_smart_key": "Smart key",
    "mouse_key_up_Swing": "Wheel up", "mouse_key_down_Swing": "Wheel down",
    "mouse_key_left_Swing": "Wheel left", "mouse_key_right_Swing": "Wheel right",
    "media_calc": "Calculator", "media_mail": "Mail", "media_mute": "Mute", "media_mypc": "My computer",
    "media_next": "Next track", "media_play": "Play/Pause", "media_prev": "Previous track",
    "media_stop": "Stop", "media_vol_add": "Volume up", "media_vol_sub": "Volume down",
    "com_key_nothing": "None",
    "light_mode_user": "My effects", "light_mode_wave": "Wave", "light_mode_vertical_wave": "Vertical wave",
    "light_mode_order_wave": "Snake", "light_mode_spectrum": "Spectrum", "light_mode_breathing": "Breathing",
    "light_mode_static": "Static", "light_mode_reactive": "Reactive", "light_mode_reactive_hue": "Reactive colours",
    "light_mode_ripple_wave": "Shock wave", "light_mode_starlight": "Starlight",
    "light_mode_hue_rotate": "Colour cycle", "light_mode_row_rainbow": "Rainbow rows",
    "light_mode_corner_wave": "Corner waves", "light_mode_firework": "Firework",
    "light_mode_twinkle": "Twinkle", "light_mode_side_wave": "Side waves",
    "light_mode_static_cycle": "Colour preset", "light_mode_ring": "Rings", "light_mode_rain": "Rain",
    "light_mode_custom": "Custom", "light_mode_off": "Off", "light_mode_reserved_22": "Effect 22",
    "light_mode_reserved_23": "Effect 23", "light_mode_reserved_24": "Effect 24",
    "light_mode_ripple": "Ripple", "light_mode_breathing_four": "Four-colour breathing",
    "light_mode_blink_four": "Four-colour blink", "light_mode_reserved_28": "Effect 28",
    "light_mode_music": "Music", "light_mode_external": "Game lighting",
    "light_mode_reserved_31": "Effect 31", "light_mode_running": "Running light",
    "light_mode_rainbow_field": "Rainbow field", "light_mode_blink": "Blink",
    "light_mode_flow": "Flow", "light_mode_group_flow": "Group flow",
    "light_mode_reserved_11": "Effect 11",
    "light_area_all": "Whole device", "light_area_wasd": "WASD", "light_area_function": "Function keys",
    "light_area_numpad": "Number pad", "light_area_logo": "Logo",
}
DE = {
    "software_rev_text": "Softwareversion", "Update_Status_text": "Aktualisierung",
    "update_status_text": "Sie haben die neueste Version",
    "message_text_2": "Eine Taste des aktuellen Profils verwendet dieses Makro. Trotzdem löschen?",
    "message_text_4": "Dieses Makro löschen?",
    "message_text_5": "Dieser Name ist bereits vergeben.",
    "message_text_6": "Die linke Taste kann nicht neu belegt werden: sonst klickt keine Taste mehr.",
    "message_text_7": "Das Gerät hat keinen Speicher für Makros.",
    "message_text_16": "Die Makros passen nicht in den Gerätespeicher (%d Ereignisse zu viel).",
    "message_text_22": "Standardeinstellungen wiederherstellen?",
    "message_text_25": "Der Profilname ist leer.",
    "message_text_26": "Dieses Profil kopieren?", "message_text_27": "Ein neues Profil anlegen?",
    "message_text_28": "Ein neues Makro anlegen?", "message_text_29": "Dieses Profil löschen?",
    "close_text": "Deaktiviert", "Key_Set": "Belegung: ", "Light_Set": "Beleuchtung",
    "Overall_Light_Set": "Ganzes Gerät: ", "Repeat_Delay_Time": "Wiederholverzögerung: ",
    "Repeat_input_text": "Hier tippen, um die Wiederholrate zu testen",
    "kb_device_name_text": "Tastatur", "ms_device_name_text": "Maus",
    "hard_mp_device_name_text": "Mauspad", "soft_mp_device_name_text": "Mauspad",
    "hd_device_name_text": "Headset", "unknow_device_name_text": "Unbekanntes Gerät",
    "light_set_anticlockwise_text": "Gegen den Uhrzeigersinn", "light_set_clockwise_text": "Im Uhrzeigersinn",
    "light_set_down_to_up_text": "Von unten nach oben", "light_set_up_to_down_text": "Von oben nach unten",
    "light_set_left_to_right_text": "Von links nach rechts", "light_set_right_to_left_text": "Von rechts nach links",
    "light_set_inside_to_outside_text": "Von innen nach außen", "light_set_outside_to_inside_text": "Von außen nach innen",
    "media_text": "Medien", "win_key_text": "Windows-Taste", "mouse_cursor_text": "Zeiger",
    "mouse_move_to_up_text": "Nach oben", "mouse_move_to_down_text": "Nach unten",
    "mouse_move_to_left_text": "Nach links", "mouse_move_to_right_text": "Nach rechts",
    "mouse_key_left": "Linke Taste", "mouse_key_right": "Rechte Taste", "mouse_key_middle": "Mittlere Taste",
    "mouse_key_back": "Zurück", "mouse_key_forward": "Vorwärts", "mouse_key_DPI_add": "DPI höher",
    "mouse_key_DPI_sub": "DPI niedriger", "mouse_key_DPI_loop": "DPI-Zyklus", "mouse_key_fire_key": "Feuertaste",
    "mouse_key_shortcut_key": "Tastenkürzel", "mouse_key_up_Swing": "Rad hoch", "mouse_key_down_Swing": "Rad runter",
    "media_calc": "Rechner", "media_mute": "Stumm", "media_mypc": "Arbeitsplatz", "media_next": "Nächster Titel",
    "media_play": "Wiedergabe/Pause", "media_prev": "Vorheriger Titel", "media_vol_add": "Lauter",
    "media_vol_sub": "Leiser", "com_key_nothing": "Keine",
    "light_mode_user": "Eigene Effekte", "light_mode_wave": "Welle", "light_mode_vertical_wave": "Vertikale Welle",
    "light_mode_order_wave": "Schlange", "light_mode_spectrum": "Spektrum", "light_mode_breathing": "Atmen",
    "light_mode_static": "Statisch", "light_mode_reactive": "Reaktiv", "light_mode_reactive_hue": "Reaktive Farben",
    "light_mode_ripple_wave": "Druckwelle", "light_mode_starlight": "Sternenlicht", "light_mode_hue_rotate": "Farbwechsel",
    "light_mode_row_rainbow": "Regenbogenreihen", "light_mode_corner_wave": "Eckwellen", "light_mode_firework": "Feuerwerk",
    "light_mode_twinkle": "Funkeln", "light_mode_side_wave": "Seitenwellen", "light_mode_static_cycle": "Farbvorgabe",
    "light_mode_ring": "Ringe", "light_mode_rain": "Regen", "light_mode_custom": "Benutzerdefiniert",
    "light_mode_off": "Aus", "light_mode_ripple": "Kräuseln", "light_mode_breathing_four": "Vierfarbiges Atmen",
    "light_mode_blink_four": "Vierfarbiges Blinken", "light_mode_music": "Musik", "light_mode_external": "Spielbeleuchtung",
    "light_mode_running": "Lauflicht", "light_mode_rainbow_field": "Regenbogenfeld", "light_mode_blink": "Blinken",
    "light_mode_flow": "Fließen", "light_mode_group_flow": "Gruppenfluss",
    "light_area_all": "Ganzes Gerät", "light_area_function": "Funktionstasten", "light_area_numpad": "Ziffernblock",
}
FR = {
    "software_rev_text": "Version du logiciel", "Update_Status_text": "Mise à jour",
    "update_status_text": "Vous avez la dernière version",
    "message_text_2": "Une touche du profil actuel utilise cette macro. La supprimer quand même ?",
    "message_text_4": "Supprimer cette macro ?",
    "message_text_5": "Ce nom est déjà utilisé.",
    "message_text_6": "Le bouton gauche ne peut pas être réaffecté : plus aucun bouton ne cliquerait.",
    "message_text_7": "Le périphérique n'a pas de mémoire pour les macros.",
    "message_text_16": "Les macros ne tiennent pas dans la mémoire du périphérique (%d événements de trop).",
    "message_text_22": "Restaurer les paramètres par défaut ?",
    "message_text_25": "Le nom du profil est vide.",
    "message_text_26": "Copier ce profil ?", "message_text_27": "Ajouter un nouveau profil ?",
    "message_text_28": "Ajouter une nouvelle macro ?", "message_text_29": "Supprimer ce profil ?",
    "close_text": "Désactivée", "Key_Set": "Affectation : ", "Light_Set": "Éclairage",
    "Overall_Light_Set": "Tout le périphérique : ", "Repeat_Delay_Time": "Délai de répétition : ",
    "Repeat_input_text": "Tapez ici pour tester la vitesse de répétition",
    "kb_device_name_text": "Clavier", "ms_device_name_text": "Souris",
    "hard_mp_device_name_text": "Tapis de souris", "soft_mp_device_name_text": "Tapis de souris",
    "hd_device_name_text": "Casque", "unknow_device_name_text": "Périphérique inconnu",
    "light_set_anticlockwise_text": "Sens antihoraire", "light_set_clockwise_text": "Sens horaire",
    "light_set_down_to_up_text": "De bas en haut", "light_set_up_to_down_text": "De haut en bas",
    "light_set_left_to_right_text": "De gauche à droite", "light_set_right_to_left_text": "De droite à gauche",
    "light_set_inside_to_outside_text": "Du centre vers l'extérieur", "light_set_outside_to_inside_text": "De l'extérieur vers le centre",
    "media_text": "Multimédia", "win_key_text": "Touche Windows", "mouse_cursor_text": "Curseur",
    "mouse_move_to_up_text": "Vers le haut", "mouse_move_to_down_text": "Vers le bas",
    "mouse_move_to_left_text": "Vers la gauche", "mouse_move_to_right_text": "Vers la droite",
    "mouse_key_left": "Bouton gauche", "mouse_key_right": "Bouton droit", "mouse_key_middle": "Bouton central",
    "mouse_key_back": "Précédent", "mouse_key_forward": "Suivant", "mouse_key_DPI_add": "DPI +",
    "mouse_key_DPI_sub": "DPI -", "mouse_key_DPI_loop": "Cycle DPI", "mouse_key_fire_key": "Touche de tir",
    "mouse_key_shortcut_key": "Raccourci", "mouse_key_up_Swing": "Molette haut", "mouse_key_down_Swing": "Molette bas",
    "media_calc": "Calculatrice", "media_mute": "Muet", "media_mypc": "Poste de travail", "media_next": "Piste suivante",
    "media_play": "Lecture/Pause", "media_prev": "Piste précédente", "media_vol_add": "Volume +",
    "media_vol_sub": "Volume -", "com_key_nothing": "Aucune",
    "light_mode_user": "Mes effets", "light_mode_wave": "Vague", "light_mode_vertical_wave": "Vague verticale",
    "light_mode_order_wave": "Serpent", "light_mode_spectrum": "Spectre", "light_mode_breathing": "Respiration",
    "light_mode_static": "Fixe", "light_mode_reactive": "Réactif", "light_mode_reactive_hue": "Couleurs réactives",
    "light_mode_ripple_wave": "Onde de choc", "light_mode_starlight": "Étoiles", "light_mode_hue_rotate": "Cycle de couleurs",
    "light_mode_row_rainbow": "Rangées arc-en-ciel", "light_mode_corner_wave": "Vagues des coins", "light_mode_firework": "Feu d'artifice",
    "light_mode_twinkle": "Scintillement", "light_mode_side_wave": "Vagues latérales", "light_mode_static_cycle": "Couleur prédéfinie",
    "light_mode_ring": "Anneaux", "light_mode_rain": "Pluie", "light_mode_custom": "Personnalisé",
    "light_mode_off": "Éteint", "light_mode_ripple": "Ondulation", "light_mode_breathing_four": "Respiration quatre couleurs",
    "light_mode_blink_four": "Clignotement quatre couleurs", "light_mode_music": "Musique", "light_mode_external": "Éclairage de jeu",
    "light_mode_running": "Chenillard", "light_mode_rainbow_field": "Champ arc-en-ciel", "light_mode_blink": "Clignotement",
    "light_mode_flow": "Flux", "light_mode_group_flow": "Flux par groupe",
    "light_area_all": "Tout le périphérique", "light_area_function": "Touches de fonction", "light_area_numpad": "Pavé numérique",
}
KEY_DE = {"Space": "Leertaste", "Enter": "Eingabe", "BackSpace": "Rücktaste", "Caplk": "Feststelltaste",
          "Delete": "Entf", "Insert": "Einfg", "Home": "Pos1", "End": "Ende", "Page Up": "Bild auf",
          "Page Down": "Bild ab", "Print Scr": "Druck", "Right": "Rechts", "Left": "Links",
          "Down": "Unten", "Up": "Oben", "LCtrl": "Strg links", "RCtrl": "Strg rechts",
          "LShift": "Umschalt links", "RShift": "Umschalt rechts", "LAlt": "Alt", "RAlt": "Alt Gr"}
KEY_FR = {"Space": "Espace", "Enter": "Entrée", "BackSpace": "Retour arrière", "Caplk": "Verr. Maj",
          "Delete": "Suppr", "Insert": "Inser", "Home": "Début", "End": "Fin", "Page Up": "Page préc.",
          "Page Down": "Page suiv.", "Print Scr": "Impr. écran", "Right": "Droite", "Left": "Gauche",
          "Down": "Bas", "Up": "Haut", "LCtrl": "Ctrl gauche", "RCtrl": "Ctrl droit",
          "LShift": "Maj gauche", "RShift": "Maj droite", "LAlt": "Alt", "RAlt": "Alt Gr"}


# The mouse page: settings tabs, resolution stages, report rate and the
# pointer settings kept in the profile.
MOUSE_PAGE = {
    "mouse_tab_buttons": ("Buttons and lights", "Tasten und Licht", "Boutons et lumières"),
    "mouse_tab_dpi": ("Resolution", "Auflösung", "Résolution"),
    "mouse_tab_system": ("Settings", "Einstellungen", "Réglages"),
    "mouse_fn_lighting": ("Lighting", "Beleuchtung", "Éclairage"),
    "mouse_fn_buttons": ("Button assignment", "Tastenbelegung", "Affectation des boutons"),
    "mouse_dpi_title": ("Resolution stages", "Auflösungsstufen", "Paliers de résolution"),
    "mouse_dpi_enable": ("On", "Ein", "Actif"),
    "mouse_dpi_colour": ("Colour", "Farbe", "Couleur"),
    "mouse_report_rate": ("Report rate", "Abfragerate", "Taux de rapport"),
    "mouse_pointer_speed": ("Pointer speed", "Zeigergeschwindigkeit", "Vitesse du pointeur"),
    "mouse_pointer_precision": ("Enhance pointer precision", "Zeigerpräzision verbessern",
                                "Améliorer la précision du pointeur"),
    "mouse_scroll_lines": ("Lines per scroll", "Zeilen pro Bildlauf", "Lignes par défilement"),
    "mouse_scroll_page": ("One page at a time", "Seitenweise", "Une page à la fois"),
    "mouse_double_click": ("Double-click speed", "Doppelklickgeschwindigkeit", "Vitesse du double-clic"),
    "mouse_profile_only": ("Stored in the profile; the desktop's own settings stay as they are.",
                           "Im Profil gespeichert; die Einstellungen des Desktops bleiben unverändert.",
                           "Enregistré dans le profil ; les réglages du bureau restent inchangés."),
    "mouse_button_list": ("Assignments", "Belegungen", "Affectations"),
}
for _id, (_en, _de, _fr) in MOUSE_PAGE.items():
    EN[_id], DE[_id], FR[_id] = _en, _de, _fr


def language(own, keys):
    texts = dict(EN)
    texts.update(own)  # untranslated texts stay English
    for w in KEY_WORDS:
        texts["keyboard_key_" + w] = keys.get(w, KEY_SHOWN.get(w, w))
    return dict(sorted(texts.items()))


LANGUAGES = [("English", "Language/English.json", 1033, "language_english", {}, {}),
             ("Deutsch", "Language/Deutsch.json", 1031, "language_german", DE, KEY_DE),
             ("Français", "Language/Francais.json", 1036, "language_french", FR, KEY_FR)]


def main():
    os.makedirs(DD, exist_ok=True)
    os.makedirs(LANG, exist_ok=True)
    dump(os.path.join(DD, "keyboard.Json"), keyboard)
    dump(os.path.join(DD, "mouse.Json"), mouse)
    dump(os.path.join(DD, "MousePad.Json"), mousepad)
    dump(os.path.join(DD, "HD.Json"), headset)
    dump(os.path.join(DD, "default_light.json"), default_light)
    dump(os.path.join(DD, "color_option_info.config"), palette)
    dump(os.path.join(DD, "AudioFile.json"), audio)
    for g, pull in enumerate([2, 3, 4, 6]):
        dump(os.path.join(DD, "ShootData_%d.Shoot" % g), shoot(pull))
    dump(os.path.join(DD, "Language.config"), {"Language": [
        {"Language_name": n, "Language_file": f, "Language_ID": i, "Language_text": t}
        for n, f, i, t, _, _ in LANGUAGES]})
    for n, f, _, _, own, keys in LANGUAGES:
        dump(os.path.join(ROOT, "data", f), language(own, keys))
    return 0


if __name__ == "__main__":
    sys.exit(main())
