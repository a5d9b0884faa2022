// The execution plan of a statement: EXPLAIN PLAN FOR it, then the plan's text as DBMS_XPLAN.DISPLAY
// writes it. The server calls run on the worksheet's run thread; nothing here knows Qt.
#pragma once

#include <string>
#include <vector>

class TOraSession;

// "EXPLAIN PLAN FOR " and the statement (a trailing ";" or "/" line is the splitter's to drop).
std::string ExplainStatementFor(const std::string& statement1252);
extern const char* const kPlanDisplayQuery; // SELECT PLAN_TABLE_OUTPUT FROM TABLE(DBMS_XPLAN.DISPLAY)

// Runs both on the session and returns the plan's lines. Parameter markers stay unbound: the plan needs no
// values. Server errors (a statement that cannot be explained) propagate.
std::vector<std::string> ExplainPlan(TOraSession& sess, const std::string& statement1252);
