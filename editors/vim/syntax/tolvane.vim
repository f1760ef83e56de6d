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
syn keyword tolvaneCommand COS DIM DOESFILEEXIST DRAWCIRCLE DRAWELLIPSE DRAWLINE END ENDPOLY FILEREQUEST$
syn keyword tolvaneCommand FILLCIRCLE FILLELLIPSE FILLRECT FINDPATH FORMAT$ GETCOMMANDLINE$ GETCURRENTDIR$
syn keyword tolvaneCommand GETDIGIX GETDIGIY GETFILE GETFILELIST GETFONTSIZE GETJOYBUTTON GETJOYNAME$
syn keyword tolvaneCommand GETJOYX GETJOYY GETJOYZ GETNUMJOYSTICKS GETSCREENSIZE GETSPRITESIZE GETTIMER
syn keyword tolvaneCommand GETTIMERALL GRABSPRITE HUSH INKEY$ INPUT INSTR INT JOYSTATE KEY KEYWAIT LCASE$
syn keyword tolvaneCommand LEFT$ LEN LIMITFPS LOADBMP LOADBUMPTEXTURE LOADFONT LOADSOUND LOADSPRITE
syn keyword tolvaneCommand LOOPMOVIE LTRIM$ MAX MID$ MIN MOD MOUSESTATE MOUSEWAIT NETCREATEPLAYER$
syn keyword tolvaneCommand NETDESTROYPLAYER NETGETMSG$ NETGETPLAYERID$ NETHOSTGAME NETJOINGAME
syn keyword tolvaneCommand NETNUMPLAYERS NETPLAYERNAME$ NETSENDMSG PLAYMOVIE PLAYMUSIC PLAYSOUND
syn keyword tolvaneCommand POLYVECTOR POW PRINT PUTFILE REPLACE$ RGB RIGHT$ RND ROTOSPRITE ROTOZOOMSPRITE
syn keyword tolvaneCommand RTRIM$ SAVEBMP SETCURRENTDIR SETFONT SETMOUSE SETPIXEL SETSHOEBOX SGN SHELLCMD
syn keyword tolvaneCommand SHOWSCREEN SIN SPLITSTR SPRCOLL SPRITE SQR STARTPOLY STOPMUSIC STR$
syn keyword tolvaneCommand STRETCHSPRITE TAN TEXTCOLOUR TRIM$ TRUNC UCASE$ USEASBMP VAL VIEWPORT
syn keyword tolvaneCommand X_AMBIENT_LT X_AUTONORMALS X_CAMERA X_COLLISION X_CULLMODE X_DRAWANIM
syn keyword tolvaneCommand X_DRAWAXES X_DRAWOBJ X_LOADOBJ X_MAKE2D X_MAKE3D X_MIPMAPPING X_MOVEMENT
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
