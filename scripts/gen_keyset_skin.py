#!/usr/bin/env python3
"""Writes skin/XML/CustomControlXML/KeySetControl.xml: the key assignment
editor with its on-screen keyboard of 126 buttons ("keyboard_key_" n, in the
order of the key category's grid) and one tab page per function category."""
import os
import sys
from xml.sax.saxutils import escape

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The grid's buttons by index: the cap's text ID, or None for an empty entry.
F = ["F%d" % i for i in range(1, 13)]
GRID = (["Esc"] + F + ["Print Scr", "Scroll Lock", "Pause", "`"] + [str(d) for d in range(1, 10)] +
        ["0", "-", "=", "BackSpace", "Insert", "Home", "Page Up", "Num Lock", "Num /", "Num *", "Num -",
         "Tab"] + list("QWERTYUIOP") + ["[", "]", "xiegang", "Delete", "End", "Page Down", "Num 7", "Num 8",
         "Num 9", "Caplk"] + list("ASDFGHJKL") + [";", "'", "Enter", "Num 4", "Num 5", "Num 6", "Num +",
         "LShift"] + list("ZXCVBNM") + ["<", ".", "/", "RShift", "Up", "Num 1", "Num 2", "Num 3",
         "Num Enter", "LCtrl", "LWin", "LAlt", "Space", "RAlt", "Fn", "App", "RCtrl", "Left", "Down",
         "Right", "Num 0", "Decimal", None, "RWin", "G1", "G2", "G3", "G4", "G5", "K56", "K14", "K45",
         "K107"] + [None] * 11)
assert len(GRID) == 126, len(GRID)

# Keys whose cap is shorter than their name (the keyboard page's caps).
CAPS = {"LCtrl", "RCtrl", "LShift", "RShift", "LAlt", "RAlt", "LWin", "RWin", "Enter", "BackSpace",
        "Caplk", "Print Scr", "Scroll Lock", "Insert", "Delete", "Page Up", "Page Down", "Num Lock",
        "Num Enter", "K45", "Fn", "Decimal", "K107", "G1", "G2", "G3", "G4", "G5"} | {
        "Num %s" % c for c in "0123456789/*-+"}

COMBO = 'width="{w}" height="26" textcolor="#FFE3E6EB" bkcolor="#FF262A33" itemhotbkcolor="#FF2E9BFF"'
EDIT = ('width="{w}" height="26" numberonly="true" minvalue="{lo}" maxvalue="{hi}" maxchar="3" '
        'textcolor="#FFE3E6EB" bkcolor="#FF262A33"')
LABEL = 'textcolor="#FF8A919E"'


def combo(name, items, w=220):
    out = ['<Combo name="%s" %s>' % (name, COMBO.format(w=w))]
    out += ['  <ListLabelElement text="%s" height="30"/>' % t for t in items]
    out.append("</Combo>")
    return out


def edit(label, name, lo, hi, w=56):
    return ['<Label text="%s" width="96" %s/>' % (label, LABEL),
            '<Edit name="%s" %s/>' % (name, EDIT.format(w=w, lo=lo, hi=hi)),
            '<Label text="%d–%d" resourcetext="false" width="64" %s/>' % (lo, hi, LABEL)]


def row(children, height=30):
    return (['<HorizontalLayout height="%d" childpadding="8">' % height] + ["  " + c for c in children] +
            ["</HorizontalLayout>"])


def page(name, rows):
    out = ['<VerticalLayout name="%s" childpadding="6" padding="0,6,0,0">' % name]
    for r in rows:
        out += ["  " + c for c in r]
    out.append("</VerticalLayout>")
    return out


CATEGORIES = ["keyset_cat_default", "keyset_cat_mouse", "keyset_cat_swing", "keyset_cat_wheel",
              "keyset_cat_resolution", "keyset_cat_fire", "keyset_cat_key", "keyset_cat_media",
              "keyset_cat_system", "keyset_cat_macro", "keyset_cat_gun", "keyset_cat_combination"]
MEDIA = ["media_text", "media_play", "media_stop", "media_prev", "media_next", "media_vol_sub", "media_vol_add",
         "media_mute", "web_text", "web_refresh", "wed_stop", "wed_back", "wed_forward", "wed_favorite",
         "web_search", "media_mypc", "media_calc", "media_mail"]
COMBOS = ["custem_open", "custem_new", "custem_undo", "custem_save", "custem_copy", "custem_cut", "custem_paste",
          "custem_find", "custem_select_all", "custem_zoom_out", "custem_magnify"]


def grid_page():
    out = ['<HorizontalLayout name="keyset_keyboard_page" childpadding="10" padding="0,4,0,0">',
           '  <VerticalLayout name="keyset_keyboard_grid" childpadding="1">']
    per_row = 21
    for r in range(0, 126, per_row):
        out.append('    <HorizontalLayout height="19" childpadding="1">')
        for i in range(r, r + per_row):
            word = GRID[i]
            if word is None:
                out.append('      <Option name="keyboard_key_%d" group="keyset_grid" width="31" visible="false"/>' % i)
                continue
            text = escape(("keyboard_cap_" if word in CAPS else "keyboard_key_") + word, {'"': "&quot;"})
            out.append('      <Option name="keyboard_key_%d" group="keyset_grid" text="%s" width="32" height="19" '
                       'textpadding="1,0,1,0" font="10" textcolor="#FFB8BEC8" bkcolor="#FF262A33" hotbkcolor="#FF2E3440" '
                       'selectedbkcolor="#FF2E9BFF" selectedtextcolor="#FFFFFFFF"/>' % (i, text))
        out.append("    </HorizontalLayout>")
    out.append("  </VerticalLayout>")
    out.append('  <VerticalLayout width="210" childpadding="3">')
    out.append('    <HorizontalLayout name="keyset_modifier_row" height="24" childpadding="2">')
    for i, t in enumerate(["keyset_mod_none", "keyset_mod_ctrl", "keyset_mod_shift", "keyset_mod_alt",
                           "keyset_mod_win"]):
        out.append('      <Option name="key_ComBox_check_%d" group="keyset_modifier" text="%s" width="40" height="20" '
                   'textpadding="2,0,2,0" font="10" textcolor="#FFB8BEC8" bkcolor="#FF262A33" selectedbkcolor="#FF2E9BFF" '
                   'selectedtextcolor="#FFFFFFFF"/>' % (i, t))
    out.append("    </HorizontalLayout>")
    out.append('    <Label text="keyset_capture_label" height="18" %s/>' % LABEL)
    out.append('    <Edit name="keyset_keyboard_text_edit" height="26" readonly="true" tooltip="keyset_capture_tip" '
               'textcolor="#FFE3E6EB" bkcolor="#FF262A33"/>')
    out.append('    <Text text="keyset_capture_reserved" textcolor="#FF8A919E" font="10"/>')
    out.append("  </VerticalLayout>")
    out.append("</HorizontalLayout>")
    return out


def main():
    body = ['<KeySetControl name="KeySetControlItem" height="196" inset="12,4,12,4" bkcolor="#FF181A20">',
            '  <VerticalLayout name="keyset_layout" childpadding="4">']
    top = (['<Label text="keyset_function_label" width="80" %s/>' % LABEL] +
           ['<Combo name="keyset_function_combo" %s>' % COMBO.format(w=190)] +
           ['  <ListLabelElement text="%s" userdata="%d" height="30"/>' % (t, i) for i, t in enumerate(CATEGORIES)] +
           ["</Combo>",
            '<Option name="keyset_fn" text="keyset_fn_layer" tooltip="keyset_fn_tip" width="110" height="26" '
            'textcolor="#FFB8BEC8" bkcolor="#FF262A33" selectedbkcolor="#FF2E9BFF" selectedtextcolor="#FFFFFFFF"/>',
            '<Control/>',
            '<Button name="key_butt_keydefalut" text="keyset_default_btn" width="90" height="26"/>',
            '<Button name="key_butt_keycancel" text="keyset_cancel_btn" width="90" height="26" enabled="false"/>',
            '<Button name="key_butt_keysave" text="keyset_apply_btn" width="90" height="26" enabled="false"/>',
            '<Button name="key_butt_prosave" text="keyset_download_btn" width="130" height="26" enabled="false"/>'])
    body += ["    " + c for c in row(top)]
    pages = [
        page("keyset_default_page", [['<Label text="keyset_default_hint" height="26" %s/>' % LABEL]]),
        page("keyset_mouse_page", [row(combo("keyset_mousekey_combo", ["mouse_key_left", "mouse_key_middle",
                                                                       "mouse_key_right", "mouse_key_forward",
                                                                       "mouse_key_back"]))]),
        page("keyset_swing_page", [row(combo("keyset_mouseswing_combo", ["mouse_key_left_Swing",
                                                                         "mouse_key_right_Swing"])),
                                   row(edit("keyset_count_label", "keyset_mouseswing_num_edit", 1, 127) +
                                       edit("keyset_delay_label", "keyset_mouseswing_delay_edit", 0, 15) +
                                       edit("keyset_speed_label", "keyset_mouseswing_speed_edit", 0, 15))]),
        page("keyset_wheel_page", [row(combo("keyset_mousewheel_combo", ["mouse_key_up_Swing",
                                                                         "mouse_key_down_Swing"])),
                                   row(edit("keyset_count_label", "keyset_mousewheel_num_edit", 1, 127) +
                                       edit("keyset_delay_label", "keyset_mousewheel_delay_edit", 0, 15) +
                                       edit("keyset_speed_label", "keyset_mousewheel_speed_edit", 0, 15))]),
        page("keyset_resolution_page", [row(combo("keyset_mousedpi_combo", ["mouse_key_DPI_add", "mouse_key_DPI_sub",
                                                                            "mouse_key_DPI_loop"]))]),
        page("keyset_fire_page", [row(edit("keyset_interval_label", "keyset_mousefire_interval_edit", 1, 255) +
                                      edit("keyset_count_label", "keyset_mousefire_num_edit", 1, 255))]),
        grid_page(),
        page("keyset_media_page", [row(combo("keyset_media_combo", MEDIA))]),
        page("keyset_system_page", [row(combo("keyset_system_combo", ["system_power", "system_sleep",
                                                                      "system_wake_up"]))]),
        page("keyset_macro_page", [row(['<Label text="keyset_macro_label" width="96" %s/>' % LABEL] +
                                       ['<Combo name="keyset_macro_combo" %s/>' % COMBO.format(w=220)]),
                                   row(['<Label text="keyset_play_label" width="96" %s/>' % LABEL] +
                                       combo("keyset_macro_over_combo", ["keyset_play_once", "keyset_play_hold",
                                                                         "keyset_play_toggle", "keyset_play_press",
                                                                         "keyset_play_times"])),
                                   ['<HorizontalLayout name="keyset_macro_cycle_layout" height="30" childpadding="8" '
                                    'visible="false">'] +
                                   ["  " + c for c in edit("keyset_repeat_label", "keyset_macro_cycle_edit", 1, 255)] +
                                   ["</HorizontalLayout>"]]),
        page("keyset_gun_page", [row(combo("keyset_gunkey_combo", ["gun_1_txt", "gun_2_txt", "gun_3_txt",
                                                                   "gun_4_txt"]))]),
        page("keyset_combination_page", [row(combo("keyset_combokey_combo", COMBOS))]),
    ]
    body.append('    <TabLayout name="function_switch_tablayout" selectedid="0">')
    for p in pages:
        body += ["      " + c for c in p]
    body.append("    </TabLayout>")
    body.append("  </VerticalLayout>")
    body.append("</KeySetControl>")
    text = ('<?xml version="1.0" encoding="utf-8"?>\n'
            "<!-- The key assignment editor of the keyboard and mouse pages. Written by\n"
            "     scripts/gen_keyset_skin.py: change it there. -->\n<Window>\n" +
            "\n".join("  " + line for line in body) + "\n</Window>\n")
    path = os.path.join(ROOT, "skin", "XML", "CustomControlXML", "KeySetControl.xml")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
