" Vim syntax file
" Language:    Tolvane BASIC (.bas)
" Maintainer:  The Tolvane developers
" The command list comes from runtime/commands.tsv (cmake -P editors/update.cmake).

if exists("b:current_syntax")
  finish
endif

syn case ignore
syn iskeyword @,48-57,_,$

syn keyword tolvaneStatement IF THEN ELSE ELSEIF ENDIF END FOR TO STEP NEXT WHILE WEND
syn keyword tolvaneStatement REPEAT UNTIL BREAK CONTINUE SELECT CASE IS ENDSELECT RETURN
syn keyword tolvaneStatement SUB ENDSUB LOCAL GLOBAL DIM
syn keyword tolvaneStructure TYPE ENDTYPE AS CONST
syn keyword tolvanePreProc INCLUDE OPTION EXPLICIT SETTINGS
syn keyword tolvaneOperator AND OR NOT XOR MOD
syn keyword tolvaneBuiltin VAL STR$ TRUNC

" BEGIN COMMANDS
syn keyword tolvaneCommand ABS ACOS ALPHAMODE ASC ASIN ATAN BLACKSCREEN BLENDSCREEN BOUNDS BOXCOLL CHR$
syn keyword tolvaneCommand COS DATE$ DIM DOESFILEEXIST DRAWCIRCLE DRAWELLIPSE DRAWLINE END ENDPOLY
syn keyword tolvaneCommand FILEREQUEST$ FILLCIRCLE FILLELLIPSE FILLRECT FINDPATH FORMAT$ GETCOMMANDLINE$
syn keyword tolvaneCommand GETCURRENTDIR$ GETDIGIX GETDIGIY GETFILE GETFILELIST GETFONTSIZE GETJOYBUTTON
syn keyword tolvaneCommand GETJOYNAME$ GETJOYX GETJOYY GETJOYZ GETNUMJOYSTICKS GETSCREENSIZE GETSPRITESIZE
syn keyword tolvaneCommand GETTIMER GETTIMERALL GRABSPRITE HUSH INKEY$ INPUT INSTR INT JOYSTATE KEY KEYHIT
syn keyword tolvaneCommand KEYWAIT LCASE$ LEFT$ LEN LIMITFPS LOADBMP LOADBUMPTEXTURE LOADFONT LOADSOUND
syn keyword tolvaneCommand LOADSPRITE LOOPMOVIE LOOPSOUND LTRIM$ MAX MID$ MIN MOD MOUSEBUTTON MOUSESTATE
syn keyword tolvaneCommand MOUSEWAIT MOUSEWHEEL NETCREATEPLAYER$ NETDESTROYPLAYER NETGETMSG$
syn keyword tolvaneCommand NETGETPLAYERID$ NETHOSTGAME NETJOINGAME NETNUMPLAYERS NETPLAYERNAME$ NETSENDMSG
syn keyword tolvaneCommand PLAYMOVIE PLAYMUSIC PLAYSOUND POLYVECTOR POW PRINT PUTFILE RANDOMIZE REPLACE$
syn keyword tolvaneCommand RGB RIGHT$ RND ROTOSPRITE ROTOZOOMSPRITE RTRIM$ SAVEBMP SETCURRENTDIR SETFONT
syn keyword tolvaneCommand SETMOUSE SETPIXEL SETSHOEBOX SGN SHELLCMD SHOWSCREEN SIN SPLITSTR SPRCOLL
syn keyword tolvaneCommand SPRITE SQR STARTPOLY STDOUT STOPMUSIC STOPSOUND STR$ STRETCHSPRITE TAN
syn keyword tolvaneCommand TEXTCOLOUR TIME$ TRIM$ TRUNC UCASE$ USEASBMP VAL VIEWPORT X_AMBIENT_LT
syn keyword tolvaneCommand X_AUTONORMALS X_CAMERA X_COLLISION X_CULLMODE X_DRAWANIM X_DRAWAXES X_DRAWOBJ
syn keyword tolvaneCommand X_LIGHTFALLOFF X_LOADOBJ X_MAKE2D X_MAKE3D X_MIPMAPPING X_MOVEMENT
syn keyword tolvaneCommand X_OBJADDVERTEX X_OBJEND X_OBJNEWGROUP X_OBJSTART X_ROTATION X_SAVEOBJ X_SCALING
syn keyword tolvaneCommand X_SETTEXTURE X_SPOT_LT X_SPRITE X_WORLD2SCREEN ZOOMSPRITE
" END COMMANDS

syn match tolvaneNumber "\<0[xX]\x\+\>"
syn match tolvaneNumber "\<\d\+\(\.\d*\)\=\([eE][+-]\=\d\+\)\=\>"
syn match tolvaneNumber "\.\d\+\([eE][+-]\=\d\+\)\=\>"
syn match tolvaneOperatorSign "<>\|<=\|>=\|[-+*/^=<>]"
syn region tolvaneString start=+"+ skip=+""+ end=+"+ end=+$+ oneline

syn match tolvaneSubName "\%(\<SUB\s\+\)\@<=\h\w*\$\="
syn match tolvaneTypeName "\%(\<\%(TYPE\|AS\)\s\+\)\@<=\h\w*"
syn match tolvaneContinuation "\s\zs_\ze\s*\%('.*\)\=$"
syn keyword tolvaneTodo TODO FIXME XXX NOTE contained
syn match tolvaneComment "'.*$" contains=tolvaneTodo,@Spell
syn match tolvaneComment "\%(^\|:\)\s*\zs\<REM\>.*$" contains=tolvaneTodo,@Spell

hi def link tolvaneStatement     Statement
hi def link tolvanePreProc       PreProc
hi def link tolvaneStructure     Structure
hi def link tolvaneTypeName      Type
hi def link tolvaneContinuation  Special
hi def link tolvaneOperator      Operator
hi def link tolvaneOperatorSign  Operator
hi def link tolvaneBuiltin       Function
hi def link tolvaneCommand       Function
hi def link tolvaneSubName       Identifier
hi def link tolvaneNumber        Number
hi def link tolvaneString        String
hi def link tolvaneComment       Comment
hi def link tolvaneTodo          Todo

let b:current_syntax = "tolvane"
