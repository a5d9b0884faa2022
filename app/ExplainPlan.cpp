#include "app/ExplainPlan.h"

#include "oracle/Ora.h"

const char* const kPlanDisplayQuery = "SELECT PLAN_TABLE_OUTPUT FROM TABLE(DBMS_XPLAN.DISPLAY)";

std::string ExplainStatementFor(const std::string& statement1252) {
    return "EXPLAIN PLAN FOR " + statement1252;
}

std::vector<std::string> ExplainPlan(TOraSession& sess, const std::string& statement1252) {
    {
        TOraSQL explain(&sess);
        explain.SetParamCheck(false);
        explain.SetSQL(ExplainStatementFor(statement1252));
        explain.Execute();
    }
    TOraQuery plan;
    plan.SetSession(&sess);
    plan.ReadOnly = true;
    plan.SetSQL(kPlanDisplayQuery);
    plan.Open();
    std::vector<std::string> lines;
    for (; !plan.Eof(); plan.Next())
        lines.push_back(plan.Fields(0)->GetAsString());
    plan.Close();
    return lines;
}
