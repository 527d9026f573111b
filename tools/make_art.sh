#!/usr/bin/env bash
# Draws Rewindor's artwork with ImageMagick 6 and the DejaVu fonts:
#   res/main_skin.bmp                    skin of the main window (855 x 500, 256 colours)
#   res/dialog_skin.bmp                  skin of the resolution dialog (280 x 154, 256 colours)
#   res/details_skin.bmp                 skin of the details view (375 x 325, 256 colours)
#   res/rewindor.ico                     program icon (16 x 16 and 32 x 32)
#   samples/cstrike/maps/de_rewind.bmp   map picture of the sample map (240 x 180, 24-bit)
# The output is deterministic: run it again and the files come out byte for byte the same.
#
# The edits and check boxes of both dialogs have no border or caption of their own: their
# frames and labels live here, placed from the rectangles in res/rewindor.rc. Keep the two in
# step (tests/art_test.cpp checks that no artwork lies under a control).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
FONT_BOLD=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
FONT_COND=/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf
for f in "$FONT" "$FONT_BOLD" "$FONT_COND"; do
  [[ -f $f ]] || { echo "make_art.sh: missing font $f (apt-get install fonts-dejavu-core)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "make_art.sh: ImageMagick's convert is missing" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# ---------------------------------------------------------------------------------------------
# Colours. BG is the colour of the window's brushes: every control paints its rectangle with it,
# so the skin must show exactly this colour under and around the controls.
BG='rgb(90,83,68)'
TEXT='rgb(209,202,187)'     # the controls' text colour; labels use it too
DIM='rgb(160,152,134)'      # secondary text
AMBER='rgb(222,170,80)'     # accents: titles, corner marks, logo
BAND='rgb(70,64,52)'        # header strips
SH1='rgb(58,53,43)'         # sunken frame, outer shadow
SH2='rgb(40,37,30)'         # sunken frame, inner shadow
HL1='rgb(134,125,104)'      # sunken frame, outer light
HL2='rgb(108,100,83)'       # sunken frame, inner light
GRID='rgb(81,75,61)'        # faint grid in the map frame

# The 256-colour palette: the key colours and the blends that antialiased text and the logo
# need between them. Remapping onto it (without dithering) keeps BG and every key colour exact.
make_palette() {
  local out=$1 ramps=() i=0
  local pairs=(
    "$BG $TEXT" "$BG $DIM" "$BG $AMBER" "$BG $SH2" "$BG $HL1"
    "$BAND $TEXT" "$BAND $AMBER" "$SH2 $AMBER" "$SH2 $TEXT" "$BG $GRID" "$SH1 $HL1"
    "$AMBER $TEXT" "rgb(30,27,22) $SH2"
  )
  for p in "${pairs[@]}"; do
    read -r a b <<<"$p"
    convert -size 1x18 "gradient:$a-$b" "$WORK/ramp$i.png"
    ramps+=("$WORK/ramp$i.png")
    i=$((i + 1))
  done
  convert "${ramps[@]}" +append -unique-colors "$out"
  local n
  n=$(identify -format '%w' "$out")
  ((n <= 256)) || { echo "make_art.sh: palette has $n colours" >&2; exit 1; }
}

# Dialog units to pixels, rounded as the dialog manager does (MulDiv, halves away from zero),
# for MS Sans Serif 8 at 96 DPI: 6 x 13 base units, so 1 unit is 1.5 x 1.625 pixels.
dux() { echo $((($1 * 6 + 2) / 4)); }
duy() { echo $((($1 * 13 + 4) / 8)); }

# ---------------------------------------------------------------------------------------------
# Drawing primitives. Each appends MVG commands to the file named by $MVG; coordinates are
# pixels, rectangles inclusive, shapes without antialiasing so that lines stay one pixel sharp.
MVG=
emit() { printf '%s\n' "$*" >>"$MVG"; }
rect() { emit "fill $5 rectangle $1,$2 $3,$4"; }  # x0 y0 x1 y1 colour

# A sunken edge of two rings around the pixel box x0..x1, y0..y1 (inclusive), `gap` pixels out
# (`left_gap` on the left side when given).
sunken() {
  local x0=$1 y0=$2 x1=$3 y1=$4 gap=$5 left_gap=${6:-$5}
  local l=$((x0 - left_gap - 2)) t=$((y0 - gap - 2)) r=$((x1 + gap + 2)) b=$((y1 + gap + 2))
  rect $l $t $r $t "$SH1"; rect $l $t $l $b "$SH1"
  rect $((l + 1)) $b $r $b "$HL1"; rect $r $((t + 1)) $r $b "$HL1"
  rect $((l + 1)) $((t + 1)) $((r - 1)) $((t + 1)) "$SH2"; rect $((l + 1)) $((t + 1)) $((l + 1)) $((b - 1)) "$SH2"
  rect $((l + 2)) $((b - 1)) $((r - 1)) $((b - 1)) "$HL2"; rect $((r - 1)) $((t + 2)) $((r - 1)) $((b - 1)) "$HL2"
}

# Control rectangle in dialog units -> pixel box (inclusive) in CX0 CY0 CX1 CY1.
control_box() {
  CX0=$(dux "$1"); CY0=$(duy "$2")
  CX1=$((CX0 + $(dux "$3") - 1)); CY1=$((CY0 + $(duy "$4") - 1))
}

# The frame of a borderless edit: a sunken slot with one plain pixel between it and the control
# (none on the left when a fifth argument 0 says so, where a button stands close by).
field_frame() { control_box "$1" "$2" "$3" "$4"; sunken $CX0 $CY0 $CX1 $CY1 1 "${5:-1}"; }

# The panel behind a list box: a sunken slot with amber corner marks.
list_panel() {
  control_box "$@"
  sunken $CX0 $CY0 $CX1 $CY1 1
  corners $((CX0 - 6)) $((CY0 - 6)) $((CX1 + 6)) $((CY1 + 6)) 7
}

# L-shaped marks at the four corners of a box, `len` pixels long.
corners() {
  local l=$1 t=$2 r=$3 b=$4 n=$(($5 - 1))
  rect $l $t $((l + n)) $t "$AMBER"; rect $l $t $l $((t + n)) "$AMBER"
  rect $((r - n)) $t $r $t "$AMBER"; rect $r $t $r $((t + n)) "$AMBER"
  rect $l $b $((l + n)) $b "$AMBER"; rect $l $((b - n)) $l $b "$AMBER"
  rect $((r - n)) $b $r $b "$AMBER"; rect $r $((b - n)) $r $b "$AMBER"
}

# An etched group frame (a dark and a light line) from l,t to r,b; an optional title sits on the
# top line at the left, in amber, with the line broken around it.
group_frame() {
  local l=$1 t=$2 r=$3 b=$4 title=${5:-}
  rect $l $t $((r - 1)) $t "$SH1"; rect $((l + 1)) $((t + 1)) $((r - 1)) $((t + 1)) "$HL2"
  rect $l $t $l $((b - 1)) "$SH1"; rect $((l + 1)) $((t + 1)) $((l + 1)) $((b - 1)) "$HL2"
  rect $((r - 1)) $t $((r - 1)) $((b - 1)) "$SH1"; rect $r $t $r $b "$HL2"
  rect $l $((b - 1)) $((r - 1)) $((b - 1)) "$SH1"; rect $l $b $r $b "$HL2"
  corners $((l - 2)) $((t - 2)) $((r + 2)) $((b + 2)) 6
  if [[ -n $title ]]; then
    local w
    w=$(text_width "$FONT_BOLD" 11 "$title")
    rect $((l + 8)) $((t - 1)) $((l + 8 + w + 8)) $((t + 2)) "$BG"
    text $((l + 12)) $((t + 4)) "$title" "$AMBER" 11 "$FONT_BOLD"
  fi
}

# text x y string colour [size] [font] [anchor]: y is the baseline.
text() {
  local size=${5:-11} font=${6:-$FONT} anchor=${7:-start}
  emit "push graphic-context"
  emit "font '$font' font-size $size fill $4 text-anchor $anchor text-antialias 1"
  emit "text $1,$2 '$3'"
  emit "pop graphic-context"
}

text_width() {  # font size string -> advance width in pixels
  convert -font "$1" -pointsize "$2" "label:$3" -format '%w' info:
}

# The program's mark: a round reel with a double rewind arrow, centred on cx,cy, radius r.
# Drawn with antialiasing (it has curves); it sits on plain background.
logo() {
  local cx=$1 cy=$2 r=$3
  emit "push graphic-context"
  emit "stroke-antialias 1"
  emit "fill $SH2 stroke $AMBER stroke-width $(awk "BEGIN{print $r/9}")"
  emit "circle $cx,$cy $(awk "BEGIN{print $cx + $r}"),$cy"
  emit "stroke none fill $BAND"
  # Sprocket holes around the rim.
  local a x y hr
  hr=$(awk "BEGIN{print $r*0.11}")
  for a in 0 60 120 180 240 300; do
    x=$(awk "BEGIN{printf \"%.2f\", $cx + 0.72*$r*cos(($a+30)*3.14159265/180)}")
    y=$(awk "BEGIN{printf \"%.2f\", $cy + 0.72*$r*sin(($a+30)*3.14159265/180)}")
    emit "circle $x,$y $(awk "BEGIN{print $x + $hr}"),$y"
  done
  # Two triangles pointing left: rewind.
  local s
  s=$(awk "BEGIN{print $r*0.42}")
  emit "fill $AMBER"
  emit "$(awk -v cx="$cx" -v cy="$cy" -v s="$s" 'BEGIN{
    printf "polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f ", cx-1.05*s, cy, cx, cy-0.8*s, cx, cy+0.8*s;
    printf "polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f", cx, cy, cx+1.05*s, cy-0.8*s, cx+1.05*s, cy+0.8*s }')"
  emit "pop graphic-context"
}

# A header strip: the product name and version on a darker band.
title_strip() {  # l t r b
  rect "$1" "$2" "$3" "$4" "$BAND"
  rect "$1" "$4" "$3" "$4" "$SH1"
}

render_skin() {  # width height out.bmp
  convert -size "$1x$2" "xc:$BG" -stroke none +antialias -draw "$(cat "$MVG")" "$WORK/skin.png"
  convert "$WORK/skin.png" +dither -remap "$WORK/palette.png" -type Palette -compress None \
    "BMP3:$3"
}

# ---------------------------------------------------------------------------------------------
# Main window skin, 855 x 500: dialog 101, 570 x 308 dialog units.
draw_main_skin() {
  MVG=$WORK/main.mvg; : >"$MVG"

  # Window edge: an etched line just inside the client area.
  group_frame 3 3 851 496

  # Title block, left of the patch buttons (which start at x = 215).
  logo 35 33 22
  text 66 37 "Rewindor" "$TEXT" 22 "$FONT_BOLD"
  local w
  w=$(text_width "$FONT_BOLD" 22 "Rewindor")
  text $((66 + w + 2)) 25 "1.0" "$AMBER" 11 "$FONT_BOLD"
  text 67 52 "менеджер демок Half-Life" "$DIM" 10 "$FONT_COND"

  # Demo path (1000) and its label; the browse button 1001 stands to its right.
  text 23 72 "Демо-файл:" "$TEXT"
  field_frame 17 48 227 8

  # Right half: the folder shown (1031) and the folder list (1028).
  text 466 43 "Демо-файл:" "$TEXT"
  field_frame 311 30 227 8 0  # button 1030 ends three pixels to the left
  list_panel 309 48 249 108

  # Map frame; the map picture is drawn at (37, 125), 240 x 180. A faint grid and a centre
  # mark show where it goes when there is none.
  local x y
  for ((x = 37; x <= 277; x += 20)); do rect $x 125 $x 304 "$GRID"; done
  for ((y = 125; y <= 305; y += 20)); do rect 37 $y 276 $y "$GRID"; done
  rect 152 215 162 215 "$SH1"; rect 157 210 157 220 "$SH1"
  group_frame 24 112 290 318 "Карта"

  # Demo information box (1007: 305..430 x 122..206).
  group_frame 299 112 437 220 "Информ. Демки"

  # Playback options: check boxes 1046, 1042, 1041 with their labels, and the play button below.
  group_frame 299 228 437 291
  text 310 247 "Startmovie" "$TEXT"
  text 310 265 "Timedemo" "$TEXT"
  text 310 284 "Viewdemo" "$TEXT"
  local yy
  for yy in 242 260 279; do emit "fill $SH1 rectangle 372,$yy 386,$yy"; done

  # Game executable path (1011), demo speed (1026), extra options (1013).
  text 20 352 "Путь к C-S" "$TEXT"
  w=$(text_width "$FONT" 11 "Путь к C-S")
  text $((20 + w + 5)) 352 "(hl.exe/cstrike.exe):" "$DIM"
  field_frame 15 221 162 8
  text 293 352 "Скорость:" "$TEXT"
  field_frame 197 221 48 8
  text 20 390 "Опции командной строки:" "$TEXT"
  field_frame 15 244 230 8

  # Player list (1037).
  text 466 275 "Информация игрока:" "$TEXT"
  list_panel 309 175 249 123

  # Caption box at the bottom left.
  group_frame 20 426 446 488
  title_strip 22 428 444 444
  text 30 440 "Rewindor 1.0" "$AMBER" 11 "$FONT_BOLD"
  text 30 461 "Просмотр и правка демо-записей Half-Life (.dem)" "$TEXT"
  text 30 478 "Counter-Strike и другие моды на движке Half-Life" "$DIM"

  render_skin 855 500 "$ROOT/res/main_skin.bmp"
}

# ---------------------------------------------------------------------------------------------
# Resolution dialog skin, 280 x 154: dialog 139, 186 x 95 dialog units. The OK and Cancel
# buttons (194..268 x 11..61) stay on plain background.
draw_dialog_skin() {
  MVG=$WORK/dialog.mvg; : >"$MVG"

  group_frame 3 3 276 150
  text 14 36 "Текущее разрешение:" "$TEXT"
  field_frame 11 27 26 8
  field_frame 59 27 26 8
  text 72 54 "x" "$DIM" 11 "$FONT" middle

  text 14 94 "Конвертировать в:" "$TEXT"
  field_frame 11 63 26 8
  field_frame 59 63 26 8
  text 72 112 "x" "$DIM" 11 "$FONT" middle

  # The product mark at the bottom right, below the buttons.
  logo 231 98 14
  text 231 128 "Rewindor" "$TEXT" 10 "$FONT_BOLD" middle
  text 231 140 "1.0" "$AMBER" 10 "$FONT_BOLD" middle

  render_skin 280 154 "$ROOT/res/dialog_skin.bmp"
}

# ---------------------------------------------------------------------------------------------
# Details view skin, 375 x 325: dialog 140, 250 x 200 dialog units. The text (1151) has its
# sunken frame on the left; the two buttons (272..364 x 11..61) stay on plain background, with
# the product mark below them as in the resolution dialog.
draw_details_skin() {
  MVG=$WORK/details.mvg; : >"$MVG"

  group_frame 3 3 371 321
  text 20 20 "Сведения о демке:" "$TEXT"
  field_frame 11 18 160 172

  logo 318 256 16
  text 318 291 "Rewindor" "$TEXT" 10 "$FONT_BOLD" middle
  text 318 304 "1.0" "$AMBER" 10 "$FONT_BOLD" middle

  render_skin 375 325 "$ROOT/res/details_skin.bmp"
}

# ---------------------------------------------------------------------------------------------
# Icon 111: the same reel as the logo. The 32 x 32 image is drawn like the logo; the 16 x 16 one
# is set pixel by pixel, since at that size a scaled-down drawing blurs the two arrows into one.
draw_icon() {
  MVG=$WORK/icon.mvg; : >"$MVG"
  logo 15.5 15.5 15
  convert -size 32x32 xc:none -stroke none -draw "$(cat "$MVG")" "PNG32:$WORK/icon32.png"
  # A = amber ring and arrows, D = dark disc.
  cat >"$WORK/icon16.xpm" <<'XPM'
/* XPM */
static char *icon16[] = {
"16 16 3 1",
". c None",
"A c #DEAA50",
"D c #28251E",
".....AAAAAA.....",
"...AADDDDDDAA...",
"..ADDDDDDDDDDA..",
".ADDDDDDDDDDDDA.",
".ADDDDDADDDADDA.",
"ADDDDDAADDAADDDA",
"ADDDDAAADAAADDDA",
"ADDDAAAAAAAADDDA",
"ADDDAAAAAAAADDDA",
"ADDDDAAADAAADDDA",
"ADDDDDAADDAADDDA",
".ADDDDDADDDADDA.",
".ADDDDDDDDDDDDA.",
"..ADDDDDDDDDDA..",
"...AADDDDDDAA...",
".....AAAAAA....."
};
XPM
  convert "$WORK/icon16.xpm" "PNG32:$WORK/icon16.png"
  convert "$WORK/icon16.png" "$WORK/icon32.png" "ICO:$ROOT/res/rewindor.ico"
}

# ---------------------------------------------------------------------------------------------
# The sample map "de_rewind": a top-down sketch, 240 x 180, 24-bit. T spawn at the bottom,
# CT spawn at the top, bomb site A to the right, B to the left, a middle corridor between.
draw_map() {
  local floor='rgb(168,152,118)' wall='rgb(62,56,44)' dark='rgb(120,108,84)' crate='rgb(112,86,52)'
  mkdir -p "$ROOT/samples/cstrike/maps"
  convert -size 240x180 "xc:$wall" -stroke none -draw "
    fill $floor
    rectangle 88,148 152,172
    rectangle 110,120 130,148
    rectangle 30,120 200,134
    rectangle 30,80 50,120
    rectangle 180,70 200,120
    rectangle 14,26 70,80
    rectangle 170,20 226,70
    rectangle 110,40 128,120
    rectangle 70,40 170,54
    rectangle 96,8 144,40
    fill $dark
    rectangle 116,60 122,104
    rectangle 110,122 130,124
    fill $crate
    rectangle 24,36 32,44  rectangle 56,62 64,70 rectangle 40,50 46,56
    rectangle 184,30 192,38 rectangle 206,52 216,62 rectangle 196,26 202,32
    fill none stroke rgb(200,70,50) stroke-width 2
    rectangle 20,32 64,74
    rectangle 176,26 220,64
    stroke none
    fill rgba(200,70,50,0.22) rectangle 21,33 63,73 rectangle 177,27 219,63
    fill rgb(70,110,160) rectangle 100,12 140,22
    fill rgb(190,120,50) rectangle 94,160 146,168
  " -font "$FONT_BOLD" -pointsize 18 -fill 'rgb(200,70,50)' \
    -annotate +35+61 'B' -annotate +191+53 'A' \
    -font "$FONT_BOLD" -pointsize 9 -fill 'rgb(240,236,226)' \
    -annotate +113+21 'CT' -annotate +116+167 'T' \
    -font "$FONT_COND" -pointsize 9 -fill 'rgb(209,202,187)' -annotate +4+175 'de_rewind' \
    -type TrueColor -compress None "BMP3:$ROOT/samples/cstrike/maps/de_rewind.bmp"
}

make_palette "$WORK/palette.png"
draw_main_skin
draw_dialog_skin
draw_details_skin
draw_icon
draw_map
echo "make_art.sh: wrote res/main_skin.bmp res/dialog_skin.bmp res/details_skin.bmp res/rewindor.ico" \
  "samples/cstrike/maps/de_rewind.bmp"
