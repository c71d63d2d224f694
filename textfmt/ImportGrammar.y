/* The grammar of the text import. bison turns it into LALR(1) tables for the yacc skeleton.
 *
 * The lexer takes feedback from the actions (a field is expected after a header separator; a
 * backslash is allowed after a header or net line), so the actions that give it must run before
 * the next token is read. They stand where the parser reduces by default, without look-ahead.
 */
%require "3.0"
%skeleton "yacc.c"
%define api.pure full
%define api.value.type {ImportValue}
%param {ImportParser* p}

%code requires {
#include "textfmt/ImportParser.h"
}

%code {
/* The stacks hold 64 entries and never grow. */
#define YYINITDEPTH 64
#define YYMAXDEPTH 64
/* Called when the stacks are full: reports the overflow and leaves the size as it is, so the
   parser gives up. */
#define yyoverflow(message, ss, sssize, vs, vssize, size) p->stackOverflow()

static int yylex(YYSTYPE* value, ImportParser* p) {
    return p->lex(value);
}

static void yyerror(ImportParser* p, const char* message) {
    p->parserError(message);
}
}

%token STRING 257
%token NUMBER 258
%token TAB 259
%token END_OF_LINE 260
%token END_OF_FILE 261

%%

file
    : opt_blank_lines packages opt_end_of_file
    ;

opt_blank_lines
    : %empty
    | blank_lines
    ;

blank_lines
    : blank_line
    | blank_lines blank_line
    ;

blank_line
    : END_OF_LINE                       { p->markLine(); }
    ;

opt_end_of_file
    : %empty
    | END_OF_FILE
    ;

packages
    : package
    | packages package
    ;

package
    : header_line body                  { p->endPackage(); }
    ;

/* The shape is set once the end of the line is read: nothing is read in between. A header of
   name and prefix alone is a Package without shape fields. */
header_line
    : text sep text sep                 { p->startPackage($1, $3); p->expectField(); }
      shape_fields END_OF_LINE          { p->setShape(); p->endHeader(); }
    | text sep text END_OF_LINE         { p->startPackage($1, $3); p->endHeader(); }
    ;

shape_fields
    : text                              { p->shapeField($1); }
    | shape_fields sep                  { p->expectField(); }
      text                              { p->shapeField($4); }
    ;

/* Each item is a net line or a section line; the body names both, so that a finished line
   takes the parser one step fewer. */
body
    : net_line
    | section_line
    | body net_line
    | body section_line
    ;

net_line
    : sep '\\' text                     { p->startNet($3); }
      pins END_OF_LINE                  { p->finishNet(); }
    ;

pins
    : sep text                          { p->addPin($2); }
    | pins sep text                     { p->addPin($3); }
    ;

/* A section line without pairs goes straight from its start to its end. */
section_line
    : section_start section_end
    | section_start pairs section_end
    ;

section_start
    : sep NUMBER sep NUMBER             { p->startSection($2, $4); }
    ;

pairs
    : sep text sep text                 { p->addPair($2, $4); }
    | pairs sep text sep text           { p->addPair($3, $5); }
    ;

/* The end of line that ends a section line and the blank lines after it belong to it. */
section_end
    : section_line_end
    | END_OF_FILE                       { p->endSection(); }
    ;

section_line_end
    : END_OF_LINE                       { p->endSection(); }
    | section_line_end blank_line
    ;

sep
    : TAB
    | ','
    ;

text
    : STRING                            { $$ = p->saveText(); }
    | NUMBER                            { $$ = p->saveText(); }
    ;

%%

int runImportParser(ImportParser* p) {
    return yyparse(p);
}
