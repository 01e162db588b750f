-- Personnel: staff, departments, payroll and leave.

-- @object User Defined Datatype | EmployeeNumber | 2011-01-17 09:00:12
CREATE TYPE dbo.EmployeeNumber FROM char(6) NOT NULL;

-- @object User Defined Datatype | NiNumber | 2011-01-17 09:00:14
CREATE TYPE dbo.NiNumber FROM char(9) NULL;

-- @object User Defined Datatype | PayAmount | 2011-01-17 09:00:16
CREATE TYPE dbo.PayAmount FROM decimal(12, 2) NOT NULL;

-- @object Default | df_Employed | 2011-01-17 09:01:00
CREATE DEFAULT dbo.df_Employed AS 'E';

-- @object Default | df_FullTimeHours | 2011-01-17 09:01:02
CREATE DEFAULT dbo.df_FullTimeHours AS 37.5;

-- @object Rule | rl_NiNumber | 2011-01-17 09:01:30
CREATE RULE dbo.rl_NiNumber AS @value IS NULL OR @value LIKE '[A-Z][A-Z][0-9][0-9][0-9][0-9][0-9][0-9][A-D]';

-- @object Rule | rl_WeeklyHours | 2011-01-17 09:01:33
CREATE RULE dbo.rl_WeeklyHours AS @value > 0 AND @value <= 48;

-- @object User Table | Department | 2011-01-17 09:10:00
CREATE TABLE dbo.Department (
    DepartmentId  smallint      NOT NULL CONSTRAINT PK_Department PRIMARY KEY,
    Name          nvarchar(60)  NOT NULL CONSTRAINT UQ_Department_Name UNIQUE,
    CostCentre    char(4)       NOT NULL,
    ManagerId     int           NULL
);

-- @object User Table | JobGrade | 2011-01-17 09:10:05
CREATE TABLE dbo.JobGrade (
    Grade         char(2)       NOT NULL CONSTRAINT PK_JobGrade PRIMARY KEY,
    MinSalary     dbo.PayAmount,
    MaxSalary     dbo.PayAmount,
    CONSTRAINT CK_JobGrade_Range CHECK (MaxSalary >= MinSalary)
);

-- @object User Table | Employee | 2011-01-17 09:10:20
CREATE TABLE dbo.Employee (
    EmployeeId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Employee PRIMARY KEY,
    Number        dbo.EmployeeNumber NOT NULL CONSTRAINT UQ_Employee_Number UNIQUE,
    GivenName     nvarchar(50)  NOT NULL,
    FamilyName    nvarchar(50)  NOT NULL,
    NiNumber      dbo.NiNumber,
    DepartmentId  smallint      NOT NULL CONSTRAINT FK_Employee_Department REFERENCES dbo.Department (DepartmentId),
    Grade         char(2)       NOT NULL CONSTRAINT FK_Employee_Grade REFERENCES dbo.JobGrade (Grade),
    ManagerId     int           NULL CONSTRAINT FK_Employee_Manager REFERENCES dbo.Employee (EmployeeId),
    StartedOn     date          NOT NULL,
    LeftOn        date          NULL,
    WeeklyHours   decimal(4, 1) NOT NULL,
    Status        char(1)       NOT NULL CONSTRAINT CK_Employee_Status CHECK (Status IN ('E', 'L', 'S')),
    CONSTRAINT CK_Employee_Dates CHECK (LeftOn IS NULL OR LeftOn >= StartedOn)
);

-- @object User Table | Salary | 2011-01-17 09:10:31
CREATE TABLE dbo.Salary (
    EmployeeId    int           NOT NULL CONSTRAINT FK_Salary_Employee REFERENCES dbo.Employee (EmployeeId),
    EffectiveFrom date          NOT NULL,
    AnnualAmount  dbo.PayAmount,
    Reason        nvarchar(100) NULL,
    CONSTRAINT PK_Salary PRIMARY KEY (EmployeeId, EffectiveFrom)
);

-- @object User Table | PayPeriod | 2011-01-17 09:10:40
CREATE TABLE dbo.PayPeriod (
    PeriodId      int       NOT NULL CONSTRAINT PK_PayPeriod PRIMARY KEY,
    StartsOn      date      NOT NULL,
    EndsOn        date      NOT NULL,
    PaidOn        date      NOT NULL,
    IsClosed      bit       NOT NULL CONSTRAINT DF_PayPeriod_IsClosed DEFAULT (0)
);

-- @object User Table | Payslip | 2011-01-17 09:10:52
CREATE TABLE dbo.Payslip (
    PayslipId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Payslip PRIMARY KEY,
    PeriodId      int           NOT NULL CONSTRAINT FK_Payslip_Period REFERENCES dbo.PayPeriod (PeriodId),
    EmployeeId    int           NOT NULL CONSTRAINT FK_Payslip_Employee REFERENCES dbo.Employee (EmployeeId),
    Gross         dbo.PayAmount,
    Tax           dbo.PayAmount,
    NationalInsurance dbo.PayAmount,
    Pension       dbo.PayAmount,
    Net           AS (Gross - Tax - NationalInsurance - Pension) PERSISTED,
    CONSTRAINT UQ_Payslip UNIQUE (PeriodId, EmployeeId)
);

-- @object User Table | LeaveType | 2012-02-06 10:00:00
CREATE TABLE dbo.LeaveType (
    LeaveTypeId   tinyint       NOT NULL CONSTRAINT PK_LeaveType PRIMARY KEY,
    Name          nvarchar(40)  NOT NULL,
    IsPaid        bit           NOT NULL,
    CountsAgainstAllowance bit  NOT NULL
);

-- @object User Table | LeaveRequest | 2012-02-06 10:00:12
CREATE TABLE dbo.LeaveRequest (
    RequestId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_LeaveRequest PRIMARY KEY,
    EmployeeId    int       NOT NULL CONSTRAINT FK_LeaveRequest_Employee REFERENCES dbo.Employee (EmployeeId),
    LeaveTypeId   tinyint   NOT NULL CONSTRAINT FK_LeaveRequest_Type REFERENCES dbo.LeaveType (LeaveTypeId),
    FirstDay      date      NOT NULL,
    LastDay       date      NOT NULL,
    Days          decimal(4, 1) NOT NULL,
    State         char(1)   NOT NULL CONSTRAINT DF_LeaveRequest_State DEFAULT ('P')
                      CONSTRAINT CK_LeaveRequest_State CHECK (State IN ('P', 'A', 'R', 'C')),
    DecidedBy     int       NULL,
    CONSTRAINT CK_LeaveRequest_Days CHECK (LastDay >= FirstDay)
);

-- @object User Table | LeaveAllowance | 2012-02-06 10:00:20
CREATE TABLE dbo.LeaveAllowance (
    EmployeeId    int           NOT NULL CONSTRAINT FK_LeaveAllowance_Employee REFERENCES dbo.Employee (EmployeeId),
    LeaveYear     smallint      NOT NULL,
    Days          decimal(4, 1) NOT NULL,
    CarriedOver   decimal(4, 1) NOT NULL CONSTRAINT DF_LeaveAllowance_Carried DEFAULT (0),
    CONSTRAINT PK_LeaveAllowance PRIMARY KEY (EmployeeId, LeaveYear)
);

-- @object User Table | TrainingCourse | 2014-09-01 13:20:00
CREATE TABLE dbo.TrainingCourse (
    CourseId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_TrainingCourse PRIMARY KEY,
    Title         nvarchar(120) NOT NULL,
    IsMandatory   bit           NOT NULL,
    RenewMonths   smallint      NULL
);

-- @object User Table | TrainingRecord | 2014-09-01 13:20:14
CREATE TABLE dbo.TrainingRecord (
    EmployeeId    int  NOT NULL CONSTRAINT FK_TrainingRecord_Employee REFERENCES dbo.Employee (EmployeeId),
    CourseId      int  NOT NULL CONSTRAINT FK_TrainingRecord_Course REFERENCES dbo.TrainingCourse (CourseId),
    CompletedOn   date NOT NULL,
    CONSTRAINT PK_TrainingRecord PRIMARY KEY (EmployeeId, CourseId, CompletedOn)
);

-- @object View | vw_Headcount | 2011-01-20 11:00:00
CREATE VIEW dbo.vw_Headcount
AS
SELECT d.Name AS Department, COUNT(*) AS People, SUM(e.WeeklyHours) / 37.5 AS FullTimeEquivalent
  FROM dbo.Employee AS e
  JOIN dbo.Department AS d ON d.DepartmentId = e.DepartmentId
 WHERE e.Status = 'E'
 GROUP BY d.Name;

-- @object View | vw_CurrentSalary | 2011-01-20 11:05:20
CREATE VIEW dbo.vw_CurrentSalary
AS
SELECT s.EmployeeId, s.AnnualAmount, s.EffectiveFrom
  FROM dbo.Salary AS s
 WHERE s.EffectiveFrom = (SELECT MAX(EffectiveFrom) FROM dbo.Salary AS x
                           WHERE x.EmployeeId = s.EmployeeId AND x.EffectiveFrom <= GETDATE());

-- @object View | vw_StaffDirectory | 2011-01-20 11:12:45
CREATE VIEW dbo.vw_StaffDirectory
AS
SELECT e.Number, e.GivenName + N' ' + e.FamilyName AS FullName, d.Name AS Department,
       m.GivenName + N' ' + m.FamilyName AS Manager
  FROM dbo.Employee AS e
  JOIN dbo.Department AS d ON d.DepartmentId = e.DepartmentId
  LEFT JOIN dbo.Employee AS m ON m.EmployeeId = e.ManagerId
 WHERE e.Status = 'E';

-- @object View | vw_LeaveBalance | 2012-02-06 10:30:00
CREATE VIEW dbo.vw_LeaveBalance
AS
SELECT a.EmployeeId, a.LeaveYear, a.Days + a.CarriedOver AS Entitled,
       ISNULL(SUM(r.Days), 0) AS Taken,
       a.Days + a.CarriedOver - ISNULL(SUM(r.Days), 0) AS Remaining
  FROM dbo.LeaveAllowance AS a
  LEFT JOIN dbo.LeaveRequest AS r ON r.EmployeeId = a.EmployeeId AND YEAR(r.FirstDay) = a.LeaveYear
       AND r.State = 'A'
       AND r.LeaveTypeId IN (SELECT LeaveTypeId FROM dbo.LeaveType WHERE CountsAgainstAllowance = 1)
 GROUP BY a.EmployeeId, a.LeaveYear, a.Days, a.CarriedOver;

-- @object View | vw_TrainingDue | 2014-09-01 13:40:10
CREATE VIEW dbo.vw_TrainingDue
AS
SELECT e.Number, e.FamilyName, c.Title, MAX(t.CompletedOn) AS LastDone,
       DATEADD(month, c.RenewMonths, MAX(t.CompletedOn)) AS DueBy
  FROM dbo.Employee AS e
 CROSS JOIN dbo.TrainingCourse AS c
  LEFT JOIN dbo.TrainingRecord AS t ON t.EmployeeId = e.EmployeeId AND t.CourseId = c.CourseId
 WHERE e.Status = 'E' AND c.IsMandatory = 1
 GROUP BY e.Number, e.FamilyName, c.Title, c.RenewMonths;

-- @object View | vw_PayrollSummary | 2011-02-28 16:00:00
CREATE VIEW dbo.vw_PayrollSummary
AS
SELECT p.PeriodId, p.PaidOn, d.CostCentre, SUM(s.Gross) AS Gross, SUM(s.Net) AS Net,
       SUM(s.Tax + s.NationalInsurance) AS Deductions
  FROM dbo.Payslip AS s
  JOIN dbo.PayPeriod AS p ON p.PeriodId = s.PeriodId
  JOIN dbo.Employee AS e ON e.EmployeeId = s.EmployeeId
  JOIN dbo.Department AS d ON d.DepartmentId = e.DepartmentId
 GROUP BY p.PeriodId, p.PaidOn, d.CostCentre;

-- @object View | vw_Leavers | 2013-04-04 09:20:00
CREATE VIEW dbo.vw_Leavers
AS
SELECT Number, GivenName, FamilyName, StartedOn, LeftOn,
       DATEDIFF(month, StartedOn, LeftOn) AS MonthsServed
  FROM dbo.Employee
 WHERE LeftOn IS NOT NULL;

-- @object User Defined Function | fn_ServiceYears | 2011-01-24 14:00:00
CREATE FUNCTION dbo.fn_ServiceYears (@EmployeeId int, @OnDate date)
RETURNS int
AS
BEGIN
    RETURN (SELECT DATEDIFF(year, StartedOn, @OnDate)
                   - CASE WHEN DATEADD(year, DATEDIFF(year, StartedOn, @OnDate), StartedOn) > @OnDate THEN 1 ELSE 0 END
              FROM dbo.Employee WHERE EmployeeId = @EmployeeId);
END;

-- @object User Defined Function | fn_IncomeTax | 2011-02-14 10:30:00
CREATE FUNCTION dbo.fn_IncomeTax (@MonthlyGross decimal(12, 2), @TaxYear smallint)
RETURNS decimal(12, 2)
AS
BEGIN
    -- Simplified banding for illustration: allowance, basic and higher rates by tax year.
    DECLARE @Allowance decimal(12, 2) = CASE WHEN @TaxYear >= 2021 THEN 12570 WHEN @TaxYear >= 2015 THEN 10600 ELSE 7475 END / 12.0;
    DECLARE @BasicTop decimal(12, 2) = 37700 / 12.0;
    DECLARE @Taxable decimal(12, 2) = CASE WHEN @MonthlyGross > @Allowance THEN @MonthlyGross - @Allowance ELSE 0 END;
    RETURN ROUND(CASE WHEN @Taxable <= @BasicTop THEN @Taxable * 0.20
                      ELSE @BasicTop * 0.20 + (@Taxable - @BasicTop) * 0.40 END, 2);
END;

-- @object User Defined Function | fn_WorkingDays | 2012-02-06 10:40:00
CREATE FUNCTION dbo.fn_WorkingDays (@First date, @Last date)
RETURNS TABLE
AS
RETURN
    WITH Days AS (
        SELECT @First AS D
        UNION ALL
        SELECT DATEADD(day, 1, D) FROM Days WHERE D < @Last
    )
    SELECT COUNT(*) AS WorkingDays
      FROM Days
     WHERE DATEPART(weekday, D) NOT IN (1, 7)
       AND D NOT IN (SELECT HolidayDate FROM dbo.BankHoliday);

-- @object User Defined Function | fn_TeamOf | 2013-06-19 12:00:00
CREATE FUNCTION dbo.fn_TeamOf (@ManagerId int)
RETURNS TABLE
AS
RETURN
    WITH Team AS (
        SELECT EmployeeId, ManagerId, 1 AS Depth FROM dbo.Employee WHERE ManagerId = @ManagerId
        UNION ALL
        SELECT e.EmployeeId, e.ManagerId, t.Depth + 1
          FROM dbo.Employee AS e JOIN Team AS t ON e.ManagerId = t.EmployeeId
    )
    SELECT t.Depth, e.Number, e.GivenName, e.FamilyName
      FROM Team AS t JOIN dbo.Employee AS e ON e.EmployeeId = t.EmployeeId;

-- @object User Table | BankHoliday | 2012-02-06 10:35:00
CREATE TABLE dbo.BankHoliday (
    HolidayDate   date          NOT NULL CONSTRAINT PK_BankHoliday PRIMARY KEY,
    Name          nvarchar(60)  NOT NULL
);

-- @object Stored Procedure | usp_HireEmployee | 2011-01-24 15:00:00
CREATE PROCEDURE dbo.usp_HireEmployee
    @Number       char(6),
    @GivenName    nvarchar(50),
    @FamilyName   nvarchar(50),
    @DepartmentId smallint,
    @Grade        char(2),
    @ManagerId    int = NULL,
    @StartedOn    date,
    @Salary       decimal(12, 2),
    @WeeklyHours  decimal(4, 1) = 37.5
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.JobGrade WHERE Grade = @Grade AND @Salary BETWEEN MinSalary AND MaxSalary)
        THROW 51000, N'The salary is outside the range of the grade.', 1;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Employee (Number, GivenName, FamilyName, DepartmentId, Grade, ManagerId, StartedOn, WeeklyHours, Status)
        VALUES (@Number, @GivenName, @FamilyName, @DepartmentId, @Grade, @ManagerId, @StartedOn, @WeeklyHours, 'E');
        DECLARE @EmployeeId int = SCOPE_IDENTITY();
        INSERT INTO dbo.Salary (EmployeeId, EffectiveFrom, AnnualAmount, Reason)
        VALUES (@EmployeeId, @StartedOn, @Salary, N'Starting salary');
        INSERT INTO dbo.LeaveAllowance (EmployeeId, LeaveYear, Days)
        VALUES (@EmployeeId, YEAR(@StartedOn), ROUND(25.0 * (13 - MONTH(@StartedOn)) / 12 * 2, 0) / 2);
    COMMIT TRANSACTION;
    SELECT @EmployeeId AS EmployeeId;
END;

-- @object Stored Procedure | usp_RecordLeaver | 2011-01-24 15:20:00
CREATE PROCEDURE dbo.usp_RecordLeaver
    @EmployeeId int,
    @LeftOn     date
AS
BEGIN
    SET NOCOUNT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Employee SET LeftOn = @LeftOn, Status = 'L' WHERE EmployeeId = @EmployeeId;
        UPDATE dbo.LeaveRequest SET State = 'C'
         WHERE EmployeeId = @EmployeeId AND FirstDay > @LeftOn AND State IN ('P', 'A');
        UPDATE dbo.Employee SET ManagerId = NULL WHERE ManagerId = @EmployeeId;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_ChangeSalary | 2011-01-24 15:40:00
CREATE PROCEDURE dbo.usp_ChangeSalary
    @EmployeeId    int,
    @EffectiveFrom date,
    @AnnualAmount  decimal(12, 2),
    @Reason        nvarchar(100)
AS
BEGIN
    SET NOCOUNT ON;
    MERGE dbo.Salary AS t
    USING (SELECT @EmployeeId AS EmployeeId, @EffectiveFrom AS EffectiveFrom) AS s
       ON t.EmployeeId = s.EmployeeId AND t.EffectiveFrom = s.EffectiveFrom
    WHEN MATCHED THEN UPDATE SET AnnualAmount = @AnnualAmount, Reason = @Reason
    WHEN NOT MATCHED THEN INSERT (EmployeeId, EffectiveFrom, AnnualAmount, Reason)
                          VALUES (@EmployeeId, @EffectiveFrom, @AnnualAmount, @Reason);
END;

-- @object Stored Procedure | usp_RunPayroll | 2011-02-28 15:00:00
CREATE PROCEDURE dbo.usp_RunPayroll
    @PeriodId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    DECLARE @PaidOn date, @EndsOn date;
    SELECT @PaidOn = PaidOn, @EndsOn = EndsOn FROM dbo.PayPeriod WHERE PeriodId = @PeriodId AND IsClosed = 0;
    IF @PaidOn IS NULL
        THROW 51010, N'The pay period does not exist or is already closed.', 1;
    BEGIN TRANSACTION;
        DELETE dbo.Payslip WHERE PeriodId = @PeriodId;
        INSERT INTO dbo.Payslip (PeriodId, EmployeeId, Gross, Tax, NationalInsurance, Pension)
        SELECT @PeriodId, e.EmployeeId, g.Gross,
               dbo.fn_IncomeTax(g.Gross, YEAR(@PaidOn)),
               ROUND(CASE WHEN g.Gross > 1048 THEN (g.Gross - 1048) * 0.12 ELSE 0 END, 2),
               ROUND(g.Gross * 0.05, 2)
          FROM dbo.Employee AS e
          JOIN dbo.vw_CurrentSalary AS s ON s.EmployeeId = e.EmployeeId
         CROSS APPLY (SELECT ROUND(s.AnnualAmount / 12, 2) AS Gross) AS g
         WHERE e.StartedOn <= @EndsOn AND (e.LeftOn IS NULL OR e.LeftOn >= @EndsOn);
        UPDATE dbo.PayPeriod SET IsClosed = 1 WHERE PeriodId = @PeriodId;
    COMMIT TRANSACTION;
END;

-- @object Stored Procedure | usp_RequestLeave | 2012-02-06 11:00:00
CREATE PROCEDURE dbo.usp_RequestLeave
    @EmployeeId  int,
    @LeaveTypeId tinyint,
    @FirstDay    date,
    @LastDay     date
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Days decimal(4, 1) = (SELECT WorkingDays FROM dbo.fn_WorkingDays(@FirstDay, @LastDay));
    IF EXISTS (SELECT 1 FROM dbo.LeaveRequest
                WHERE EmployeeId = @EmployeeId AND State IN ('P', 'A')
                  AND FirstDay <= @LastDay AND LastDay >= @FirstDay)
        THROW 51020, N'The request overlaps leave already requested.', 1;
    INSERT INTO dbo.LeaveRequest (EmployeeId, LeaveTypeId, FirstDay, LastDay, Days)
    VALUES (@EmployeeId, @LeaveTypeId, @FirstDay, @LastDay, @Days);
END;

-- @object Stored Procedure | usp_DecideLeave | 2012-02-06 11:20:00
CREATE PROCEDURE dbo.usp_DecideLeave
    @RequestId int,
    @Approve   bit,
    @DecidedBy int
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.LeaveRequest
       SET State = CASE WHEN @Approve = 1 THEN 'A' ELSE 'R' END, DecidedBy = @DecidedBy
     WHERE RequestId = @RequestId AND State = 'P';
    IF @@ROWCOUNT = 0
        THROW 51030, N'Only a pending request can be decided.', 1;
END;

-- @object Stored Procedure | usp_CarryOverLeave | 2013-01-02 07:30:00
CREATE PROCEDURE dbo.usp_CarryOverLeave
    @FromYear smallint,
    @MaxDays  decimal(4, 1) = 5
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.LeaveAllowance (EmployeeId, LeaveYear, Days, CarriedOver)
    SELECT b.EmployeeId, @FromYear + 1, 25,
           CASE WHEN b.Remaining > @MaxDays THEN @MaxDays WHEN b.Remaining < 0 THEN 0 ELSE b.Remaining END
      FROM dbo.vw_LeaveBalance AS b
      JOIN dbo.Employee AS e ON e.EmployeeId = b.EmployeeId AND e.Status = 'E'
     WHERE b.LeaveYear = @FromYear
       AND NOT EXISTS (SELECT 1 FROM dbo.LeaveAllowance AS x WHERE x.EmployeeId = b.EmployeeId AND x.LeaveYear = @FromYear + 1);
END;

-- @object Stored Procedure | usp_RecordTraining | 2014-09-01 14:00:00
CREATE PROCEDURE dbo.usp_RecordTraining
    @EmployeeId  int,
    @CourseId    int,
    @CompletedOn date
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.TrainingRecord (EmployeeId, CourseId, CompletedOn)
    VALUES (@EmployeeId, @CourseId, @CompletedOn);
END;

-- @object Stored Procedure | usp_TrainingOverdueReport | 2014-09-01 14:10:00
CREATE PROCEDURE dbo.usp_TrainingOverdueReport
AS
BEGIN
    SET NOCOUNT ON;
    SELECT Number, FamilyName, Title, LastDone, DueBy
      FROM dbo.vw_TrainingDue
     WHERE LastDone IS NULL OR DueBy < GETDATE()
     ORDER BY DueBy;
END;

-- @object Stored Procedure | usp_MoveDepartment | 2013-06-19 12:30:00
CREATE PROCEDURE dbo.usp_MoveDepartment
    @EmployeeId   int,
    @DepartmentId smallint,
    @ManagerId    int = NULL
AS
BEGIN
    SET NOCOUNT ON;
    UPDATE dbo.Employee
       SET DepartmentId = @DepartmentId,
           ManagerId = ISNULL(@ManagerId, (SELECT ManagerId FROM dbo.Department WHERE DepartmentId = @DepartmentId))
     WHERE EmployeeId = @EmployeeId;
END;

-- @object Stored Procedure | usp_PayslipFor | 2011-02-28 16:20:00
CREATE PROCEDURE dbo.usp_PayslipFor
    @Number   char(6),
    @PeriodId int
AS
BEGIN
    SET NOCOUNT ON;
    SELECT e.Number, e.GivenName, e.FamilyName, p.PaidOn, s.Gross, s.Tax, s.NationalInsurance, s.Pension, s.Net
      FROM dbo.Payslip AS s
      JOIN dbo.Employee AS e ON e.EmployeeId = s.EmployeeId
      JOIN dbo.PayPeriod AS p ON p.PeriodId = s.PeriodId
     WHERE e.Number = @Number AND s.PeriodId = @PeriodId;
END;

-- @object Stored Procedure | usp_SalaryReview | 2016-03-31 17:00:00 | no script
-- (created WITH ENCRYPTION)

-- @object Trigger | tr_Employee_Leaver | 2013-04-04 09:30:00
CREATE TRIGGER dbo.tr_Employee_Leaver ON dbo.Employee
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(LeftOn)
        UPDATE d SET ManagerId = NULL
          FROM dbo.Department AS d JOIN inserted AS i ON i.EmployeeId = d.ManagerId
         WHERE i.LeftOn IS NOT NULL;
END;

-- @object Trigger | tr_Salary_WithinGrade | 2011-01-24 16:00:00
CREATE TRIGGER dbo.tr_Salary_WithinGrade ON dbo.Salary
AFTER INSERT, UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM inserted AS i
                 JOIN dbo.Employee AS e ON e.EmployeeId = i.EmployeeId
                 JOIN dbo.JobGrade AS g ON g.Grade = e.Grade
                WHERE i.AnnualAmount NOT BETWEEN g.MinSalary AND g.MaxSalary)
    BEGIN
        ROLLBACK TRANSACTION;
        THROW 51040, N'A salary must lie within the range of the employee''s grade.', 1;
    END;
END;

-- @object Trigger | tr_Payslip_ClosedPeriod | 2011-02-28 16:40:00
CREATE TRIGGER dbo.tr_Payslip_ClosedPeriod ON dbo.Payslip
AFTER UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted AS d JOIN dbo.PayPeriod AS p ON p.PeriodId = d.PeriodId WHERE p.IsClosed = 1)
    BEGIN
        ROLLBACK TRANSACTION;
        THROW 51050, N'Payslips of a closed period cannot change.', 1;
    END;
END;

-- @object Trigger | tr_LeaveRequest_Weekend | 2012-02-06 11:40:00
CREATE TRIGGER dbo.tr_LeaveRequest_Weekend ON dbo.LeaveRequest
AFTER INSERT
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM inserted WHERE Days = 0)
    BEGIN
        ROLLBACK TRANSACTION;
        THROW 51060, N'The request covers no working day.', 1;
    END;
END;
